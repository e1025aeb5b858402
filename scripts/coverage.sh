#!/usr/bin/env bash
# Line coverage of the layer by the test suite:
#   bash scripts/coverage.sh
# builds the test program with gcov instrumentation (preset coverage: gcc,
# -O0, --coverage; counters updated atomically, since the tests run the
# layer on several threads and lost updates would give wrong counts), runs the whole suite on a fresh set of counters and
# prints, per file of generics/, util/ and platform/posix/, the lines run,
# the lines that can run and the lines never run (gcovr).  Fails when the
# suite fails, or when the total falls below the floor (KEEL_COVERAGE_FLOOR,
# in percent): the floor sits just under what the suite reaches, so a large
# drop is caught.  The build's output is in build/coverage.log.
set -euo pipefail
cd "$(dirname "$0")/.."
floor=${KEEL_COVERAGE_FLOOR:-92}
jobs=${JOBS:-$(nproc)}
dir=build/coverage
log=build/coverage.log

if ! command -v gcovr >/dev/null; then
  echo "gcovr is missing (Debian: apt-get install gcovr)"
  exit 1
fi

mkdir -p build
if ! { cmake --preset coverage && cmake --build "$dir" -j"$jobs"; } >"$log" 2>&1; then
  tail -n 60 "$log"
  echo "build of the coverage preset failed (log: $log)"
  exit 1
fi

# Counters of earlier runs would add to this one's.
find "$dir" -name '*.gcda' -delete
suite=0
(cd "$dir" && ctest --output-on-failure -j"$jobs" --timeout 600) >"$dir/ctest.log" 2>&1 || suite=1
if [ $suite -ne 0 ]; then
  tail -n 60 "$dir/ctest.log"
  echo "the suite failed under the coverage build (log: $dir/ctest.log)"
fi

# The two builds of the layer (shared and static) are read together:
# gcovr adds up the counts of each source line.  The exit tests end
# processes while threads are inside the layer's calls, so gcov derives
# negative "returned" counts for some calls; gcovr cannot read those lines
# and would stop, so they are skipped (line counts are not affected) and
# its warnings kept in $dir/gcovr.log.
status=0
gcovr --root . --object-directory "$dir" \
  "$dir/CMakeFiles/keel.dir" "$dir/CMakeFiles/keel_static.dir" \
  --filter 'generics/' --filter 'util/' --filter 'platform/posix/' \
  --gcov-ignore-parse-errors \
  --print-summary --fail-under-line "$floor" 2>"$dir/gcovr.log" || status=$?
case $status in
  0) ;;
  2) echo "line coverage is below the floor of $floor %" ;;
  *) tail -n 30 "$dir/gcovr.log"; echo "gcovr failed (exit status $status; log: $dir/gcovr.log)" ;;
esac
exit $(( suite | status ))
