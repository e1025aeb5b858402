#!/usr/bin/env bash
# Builds every target and runs every test, saying what it does as it goes.
# Its legs, in order:
#   linux64    gcc, tests run natively
#   linux32    gcc -m32, tests run natively
#   win32-dll  i686 mingw-w64, the DLL is built (no tests: no 32-bit Wine)
#   win64      x86_64 mingw-w64, tests run under wine64
#   package    scripts/check-package.sh: the installed library used from
#              outside the tree, and keel as a subproject
#   asan       gcc, AddressSanitizer + UndefinedBehaviorSanitizer: the
#              libraries and the test program, the whole suite
#   tsan       gcc, ThreadSanitizer: the same (the tests of thread
#              suspension skip themselves there)
#   fuzz       scripts/fuzz.sh: every fuzz target for a fixed time on its
#              kept corpus (FUZZ_SECONDS, 15 by default)
#   coverage   scripts/coverage.sh: line coverage per file, failing below
#              its floor
#   bash scripts/test-all.sh             every leg
#   bash scripts/test-all.sh asan tsan   the legs named
# Each build's output goes to build/<preset>.log and its end is shown when
# it fails.  Every leg runs even when an earlier one failed; each says when
# it starts and how long it took, and the summary at the end gives every
# leg's time and result.  The exit status is 1 when any leg failed.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
all_legs=(linux64 linux32 win32-dll win64 package asan tsan fuzz coverage)
legs=("${@:-${all_legs[@]}}")
for leg in "${legs[@]}"; do
  case " ${all_legs[*]} " in
    *" $leg "*) ;;
    *) echo "no leg $leg (legs: ${all_legs[*]})"; exit 2 ;;
  esac
done
start=$SECONDS
failed=()
summary=()

say() { echo "=== $* ($((SECONDS - start)) s)"; }

# Configures and builds one preset; shows the end of the build log when it
# fails.
build() {
  local log="build/$1.log"
  mkdir -p build
  say "$1: configure and build: cmake --preset $1 && cmake --build build/$1 -j$jobs > $log"
  if ! { cmake --preset "$1" && cmake --build "build/$1" -j"$jobs"; } >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "build of $1 failed (log: $log)"
    return 1
  fi
}

run_ctest() {
  say "$1: tests: (cd build/$1 && ctest --output-on-failure)"
  (cd "build/$1" && ctest --output-on-failure -j"$jobs" --timeout 600)
}

# A preset built in full and its tests run.  The sanitizer presets build
# no benchmarks, and their options are built into the test program
# (tests/support/sanitizer_options.cpp).
leg_native() {
  if build "$1"; then
    run_ctest "$1" || failed+=("$1 tests")
  else
    failed+=("$1 build")
  fi
}

leg_win32_dll() {
  if build win32-dll; then
    ls -l build/win32-dll/keel.dll
  else
    failed+=("win32-dll build")
  fi
}

leg_win64() {
  export WINEDEBUG=-all
  export WINEPREFIX="$PWD/build/win64/wineprefix"
  trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
  if build win64; then
    # Start Wine before ctest, so that its services do not inherit ctest's pipes.
    say "win64: starting Wine (prefix $WINEPREFIX)"
    mkdir -p "$WINEPREFIX"
    # A server already running for this prefix (left by a run by hand) is
    # used as it is.
    /usr/lib/wine/wineserver -p 2>/dev/null || true
    /usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
    run_ctest win64 || failed+=("win64 tests")
  else
    failed+=("win64 build")
  fi
}

leg_package() {
  say "package: bash scripts/check-package.sh (logs in build/package/)"
  bash scripts/check-package.sh || failed+=("package checks")
}

leg_fuzz() {
  local seconds=${FUZZ_SECONDS:-15}
  say "fuzz: bash scripts/fuzz.sh $seconds (each target $seconds s; logs in build/fuzz/)"
  bash scripts/fuzz.sh "$seconds" || failed+=("fuzz")
}

leg_coverage() {
  say "coverage: bash scripts/coverage.sh (build log in build/coverage.log)"
  bash scripts/coverage.sh || failed+=("coverage")
}

for leg in "${legs[@]}"; do
  leg_start=$SECONDS
  failures_before=${#failed[@]}
  say "$leg: begins"
  case $leg in
    linux64 | linux32 | asan | tsan) leg_native "$leg" ;;
    win32-dll) leg_win32_dll ;;
    win64) leg_win64 ;;
    package) leg_package ;;
    fuzz) leg_fuzz ;;
    coverage) leg_coverage ;;
  esac
  result=passed
  [ ${#failed[@]} -gt "$failures_before" ] && result=FAILED
  say "$leg: $result in $((SECONDS - leg_start)) s"
  summary+=("$(printf '%-10s %-7s %4d s' "$leg" "$result" $((SECONDS - leg_start)))")
done

echo "=== summary"
printf '    %s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  say "FAILED: ${failed[*]}"
  exit 1
fi
say "every leg passed: ${legs[*]}"
