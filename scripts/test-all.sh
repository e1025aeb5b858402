#!/usr/bin/env bash
# Builds every target and runs every test, saying what it does as it goes:
#   linux64    gcc, tests run natively
#   linux32    gcc -m32, tests run natively
#   win32-dll  i686 mingw-w64, the DLL is built (no tests: no 32-bit Wine)
#   win64      x86_64 mingw-w64, tests run under wine64
#   package    scripts/check-package.sh: the installed library used from
#              outside the tree, and keel as a subproject
# Each build's output goes to build/<preset>.log and is shown when it fails.
# Every stage runs even when an earlier one failed; the summary at the end
# names the failures, and the exit status is 1 when there is any.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
start=$SECONDS
failed=()

say() { echo "=== $* ($((SECONDS - start)) s)"; }

# Configures and builds one preset; shows the end of the build log when it fails.
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

for preset in linux64 linux32; do
  if build "$preset"; then
    run_ctest "$preset" || failed+=("$preset tests")
  else
    failed+=("$preset build")
  fi
done

if build win32-dll; then
  ls -l build/win32-dll/keel.dll
else
  failed+=("win32-dll build")
fi

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

say "package: bash scripts/check-package.sh (logs in build/package/)"
bash scripts/check-package.sh || failed+=("package checks")

if [ ${#failed[@]} -gt 0 ]; then
  say "FAILED: ${failed[*]}"
  exit 1
fi
say "all targets built, all tests passed"
