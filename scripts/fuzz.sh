#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz: clang, libFuzzer with ASan+UBSan)
# and runs each for a fixed time on its kept corpus:
#   bash scripts/fuzz.sh                 every target, 15 s each
#   bash scripts/fuzz.sh 60 logline      one target, 60 s
# The kept corpus fuzz/corpus/<name> is only read: new inputs go to
# build/fuzz/corpus/<name>, the run's output to build/fuzz/<name>.log.  A
# crash, a sanitizer finding or a broken invariant leaves its input in
# build/fuzz/artifacts/, shows the end of the log and fails the run; every
# target runs even when an earlier one failed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
shift || true
jobs=${JOBS:-$(nproc)}
if [ $# -gt 0 ]; then
  names=("$@")
else
  names=()
  for src in fuzz/*_fuzz.cpp; do
    name=${src#fuzz/}
    names+=("${name%_fuzz.cpp}")
  done
fi

log=build/fuzz.log
mkdir -p build
targets=("${names[@]/#/fuzz_}")
if ! { cmake --preset fuzz && cmake --build build/fuzz -j"$jobs" --target "${targets[@]}"; } >"$log" 2>&1; then
  tail -n 60 "$log"
  echo "build of the fuzz targets failed (log: $log)"
  exit 1
fi

failed=()
mkdir -p build/fuzz/artifacts
for name in "${names[@]}"; do
  out=build/fuzz/$name.log
  mkdir -p "build/fuzz/corpus/$name"
  if build/fuzz/fuzz_"$name" "build/fuzz/corpus/$name" "fuzz/corpus/$name" \
      -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="build/fuzz/artifacts/$name-" >"$out" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out")
    echo "fuzz_$name: ${runs:-?} inputs in $seconds s, no finding"
  else
    tail -n 40 "$out"
    echo "fuzz_$name: FAILED (log: $out; the input is in build/fuzz/artifacts/)"
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]}"
  exit 1
fi
