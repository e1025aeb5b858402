#!/usr/bin/env bash
# Builds every target and runs every test:
#   linux64 (gcc), linux32 (-m32), win64 (mingw-w64, tests under wine64),
#   and the 32-bit Windows DLL (build only).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}

run_ctest() {
  (cd "build/$1" && ctest --output-on-failure -j"$jobs" --timeout 600)
}

# Configures and builds one preset; shows the build log only when it fails.
build() {
  local log="build/$1.log"
  mkdir -p build
  if ! { cmake --preset "$1" && cmake --build "build/$1" -j"$jobs"; } >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "build of $1 failed"
    exit 1
  fi
}

for preset in linux64 linux32; do
  echo "=== $preset: configure and build"
  build "$preset"
  echo "=== $preset: tests"
  run_ctest "$preset"
done

echo "=== win32-dll: build"
build win32-dll
ls -l build/win32-dll/keel.dll

echo "=== win64: configure and build"
export WINEDEBUG=-all
export WINEPREFIX="$PWD/build/win64/wineprefix"
mkdir -p "$WINEPREFIX"
build win64
# Start wine before ctest, so its services do not inherit ctest's pipes.
/usr/lib/wine/wineserver -p
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
echo "=== win64: tests under wine64"
status=0
run_ctest win64 || status=$?
/usr/lib/wine/wineserver -k || true
exit $status
