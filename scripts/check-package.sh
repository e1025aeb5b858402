#!/usr/bin/env bash
# Checks keel as its users receive it, from outside the source tree:
#   linux64    installed to a prefix; a C99 program (tests/package/consumer.c)
#              built against it through the CMake package (shared and
#              static) and pkg-config (keel and keel-static), and run; a
#              shared object linking the static library exports nothing of it;
#              the installed keel command runs and says the version;
#   win64      installed; the program built against the DLL (CMake package,
#              pkg-config, and by hand with the import library) and against
#              the static library (CMake package, pkg-config), and run under
#              wine64; the static one must export nothing of the layer; the
#              installed keel command runs beside the DLL and says the version;
#   win32-dll  installed; the program links against the i686 import library;
#              the command is installed beside the DLL;
#   mingw      util.h alone must not bring in <windows.h>;
#   parent     a project with its own GoogleTest pulls keel in with
#              add_subdirectory: it builds and runs its program, keel's tests
#              and command are not built, and keel writes only into its own build folder.
# Everything goes to build/package/ (cleared first); each step's output is
# in a log there.  Builds the presets it uses when they are not up to date.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build/package
jobs=${JOBS:-$(nproc)}
objdump64=x86_64-w64-mingw32-objdump

step() { echo "--- $*"; }
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
# quiet LOG CMD...: runs CMD with its output in LOG; shows the log's end and
# stops when it fails.
quiet() {
  local log=$1
  shift
  if ! "$@" >>"$log" 2>&1; then
    tail -n 40 "$log"
    fail "$* (log: $log)"
  fi
}
# The names in the export table of a PE file (DLL or program).
pe_exports() {
  "$objdump64" -p "$1" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p'
}
# Installs a built preset to build/package/<preset>/prefix.
install_preset() {
  local preset=$1
  mkdir -p "$out/$preset"
  quiet "$out/$preset/build.log" cmake --preset "$preset"
  quiet "$out/$preset/build.log" cmake --build "build/$preset" -j"$jobs"
  quiet "$out/$preset/install.log" cmake --install "build/$preset" --prefix "$out/$preset/prefix"
}
# The installed headers are the three public ones, and nothing internal.
check_headers() {
  local found
  found=$(cd "$1/include/keel" && ls | tr '\n' ' ')
  [ "$found" = "generics.h keel_version.h util.h " ] || fail "include/keel holds: $found"
}

# The version as the project sets it; the installed files must carry it.
version=$(sed -n 's/^project(keel VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt's project()"
soname=libkeel.so.${version%.*}

source_state_before=$(git status --porcelain --untracked-files=all 2>/dev/null || true)
rm -rf "$out"
mkdir -p "$out"

# ------------------------------------------------------------------ linux64
step "linux64: install to build/package/linux64/prefix"
prefix=$out/linux64/prefix
install_preset linux64
check_headers "$prefix"
found=$(readelf -d "$prefix/lib/libkeel.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$found" = "$soname" ] || fail "the SONAME is '$found', not $soname"
grep -q "^#define KEEL_VERSION_STRING \"$version\"$" "$prefix/include/keel/keel_version.h" ||
  fail "keel_version.h does not say $version"
pkg-config --modversion "$prefix/lib/pkgconfig/keel.pc" | grep -qx "$version" || fail "keel.pc does not say $version"

step "linux64: the installed keel command finds its library and says $version"
found=$(cd "$out/linux64" && env -u LD_LIBRARY_PATH "$prefix/bin/keel" version) || fail "the installed keel version failed"
[ "$found" = "$version" ] || fail "the installed keel version says '$found', not $version"
readelf -d "$prefix/bin/keel" | grep -qF "[$soname]" || fail "the installed keel does not load $soname"

for link in shared static; do
  step "linux64: consumer through the CMake package, $link library"
  dir=$out/linux64/cmake-$link
  quiet "$out/linux64/cmake-$link.log" cmake -S tests/package -B "$dir" \
    -DCMAKE_PREFIX_PATH="$prefix" -DKEEL_LINK=$link
  quiet "$out/linux64/cmake-$link.log" cmake --build "$dir"
  (cd "$dir" && ./consumer)
done
readelf -d "$out/linux64/cmake-shared/consumer" | grep -qF "[$soname]" ||
  fail "the shared consumer does not load $soname"
if readelf -d "$out/linux64/cmake-static/consumer" | grep -q 'NEEDED.*libkeel'; then
  fail "the static consumer loads libkeel"
fi

step "linux64: a shared object linking keel_static exports nothing of the layer"
dir=$out/linux64/static-in-shared-object
mkdir -p "$dir"
quiet "$dir.log" gcc -std=c99 -shared -fPIC -DKEEL_STATIC -I"$prefix/include/keel" tests/package/consumer.c \
  "$prefix/lib/libkeel_static.a" -o "$dir/libconsumer.so"
nm -D --defined-only "$prefix/lib/libkeel.so" | awk '{print $3}' | sort >"$dir/keel-exports.txt"
grep -qx Keel_Version "$dir/keel-exports.txt" || fail "no Keel_Version among libkeel.so's exports"
nm -D --defined-only "$dir/libconsumer.so" | awk '{print $3}' | sort >"$dir/consumer-exports.txt"
leaked=$(comm -12 "$dir/keel-exports.txt" "$dir/consumer-exports.txt" | tr '\n' ' ')
[ -z "$leaked" ] || fail "a shared object linked with keel_static exports: $leaked"

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
for pc in keel keel-static; do
  step "linux64: consumer through pkg-config $pc"
  dir=$out/linux64/pkgconfig-$pc
  mkdir -p "$dir"
  # shellcheck disable=SC2046 # pkg-config's flags are separate words
  quiet "$dir.log" gcc -std=c99 -pedantic -Wall -Wextra -Werror tests/package/consumer.c \
    $(pkg-config --cflags --libs "$pc") -o "$dir/consumer"
  (cd "$dir" && LD_LIBRARY_PATH=$prefix/lib ./consumer)
done
unset PKG_CONFIG_PATH

# -------------------------------------------------------------------- win64
step "win64: install to build/package/win64/prefix"
prefix=$out/win64/prefix
install_preset win64
check_headers "$prefix"
for f in bin/keel.dll bin/keel.exe lib/libkeel.dll.a lib/libkeel_static.a; do
  [ -f "$prefix/$f" ] || fail "win64: $f is not installed"
done
strings -el "$prefix/bin/keel.dll" | grep -qx "$version" || fail "keel.dll has no version resource $version"

for link in shared static; do
  step "win64: consumer through the CMake package, $link library"
  dir=$out/win64/cmake-$link
  quiet "$out/win64/cmake-$link.log" cmake -S tests/package -B "$dir" \
    --toolchain "$root/cmake/mingw64.cmake" -Dkeel_DIR="$prefix/lib/cmake/keel" -DKEEL_LINK=$link
  quiet "$out/win64/cmake-$link.log" cmake --build "$dir"
done
step "win64: consumer by hand against the import library"
dir=$out/win64/by-hand
mkdir -p "$dir"
quiet "$dir.log" x86_64-w64-mingw32-gcc -std=c99 -pedantic -Wall -Wextra -Werror \
  -I"$prefix/include/keel" tests/package/consumer.c -L"$prefix/lib" -lkeel -o "$dir/consumer.exe"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
for pc in keel keel-static; do
  step "win64: consumer through pkg-config $pc"
  dir=$out/win64/pkgconfig-$pc
  mkdir -p "$dir"
  # shellcheck disable=SC2046 # pkg-config's flags are separate words
  quiet "$dir.log" x86_64-w64-mingw32-gcc -std=c99 -pedantic -Wall -Wextra -Werror \
    tests/package/consumer.c $(pkg-config --cflags --libs "$pc") -o "$dir/consumer.exe"
done
unset PKG_CONFIG_PATH

step "win64: the static consumer exports nothing of the layer"
pe_exports "$prefix/bin/keel.dll" | sort >"$out/win64/dll-exports.txt"
grep -qx Keel_Version "$out/win64/dll-exports.txt" || fail "no Keel_Version among keel.dll's exports"
pe_exports "$out/win64/cmake-static/consumer.exe" | sort >"$out/win64/static-consumer-exports.txt"
leaked=$(comm -12 "$out/win64/dll-exports.txt" "$out/win64/static-consumer-exports.txt" | tr '\n' ' ')
[ -z "$leaked" ] || fail "the program linked with keel_static exports: $leaked"

step "win64: the consumers run under wine64, the DLL taken from the prefix"
export WINEDEBUG=-all
export WINEPREFIX=$root/build/win64/wineprefix
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p 2>/dev/null || true
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
wine_bin="Z:$(echo "$prefix/bin" | tr / '\\')"
for run in cmake-shared cmake-static by-hand pkgconfig-keel pkgconfig-keel-static; do
  (cd "$out/win64/$run" && WINEPATH=$wine_bin /usr/lib/wine/wine64 ./consumer.exe </dev/null) ||
    fail "win64 $run consumer"
done
step "win64: the installed keel command runs beside the DLL and says $version"
found=$(cd "$out/win64" && /usr/lib/wine/wine64 "$prefix/bin/keel.exe" version </dev/null | tr -d '\r') ||
  fail "the installed keel.exe version failed"
[ "$found" = "$version" ] || fail "the installed keel.exe version says '$found', not $version"

# ---------------------------------------------------------------- win32-dll
step "win32-dll: install; the consumer links against the i686 import library"
prefix=$out/win32-dll/prefix
install_preset win32-dll
check_headers "$prefix"
"$objdump64" -f "$prefix/bin/keel.dll" | grep -q 'file format pei-i386' || fail "keel.dll is not a 32-bit DLL"
"$objdump64" -f "$prefix/bin/keel.exe" | grep -q 'file format pei-i386' || fail "keel.exe is not installed as a 32-bit program"
strings -el "$prefix/bin/keel.dll" | grep -qx "$version" || fail "the 32-bit keel.dll has no version resource $version"
quiet "$out/win32-dll/by-hand.log" i686-w64-mingw32-gcc -std=c99 -pedantic -Wall -Wextra -Werror \
  -I"$prefix/include/keel" tests/package/consumer.c -L"$prefix/lib" -lkeel -o "$out/win32-dll/consumer.exe"

# -------------------------------------------------------------------- mingw
step "mingw: util.h alone does not include <windows.h>"
for target in x86_64:win64 i686:win32-dll; do
  cc=${target%%:*}-w64-mingw32-gcc
  include=$out/${target#*:}/prefix/include/keel
  for lang in "-x c -std=c99" "-x c++ -std=c++17" "-x c -std=c99 -DKEEL_STATIC"; do
    # shellcheck disable=SC2086 # $lang is several options
    quiet "$out/no-windows-h.log" "$cc" $lang -pedantic -Wall -Werror -fsyntax-only \
      -I"$include" tests/package/no_windows_h.c
  done
done

# ------------------------------------------------------------------- parent
step "parent: its own GoogleTest, keel by add_subdirectory; builds and runs its program"
dir=$out/parent
quiet "$dir.log" cmake -S tests/package/parent -B "$dir" -DKEEL_SOURCE_DIR="$root"
quiet "$dir.log" cmake --build "$dir" -j"$jobs"
(cd "$dir" && ./parent_tests --gtest_brief=1) >>"$dir.log" 2>&1 || fail "the parent's program (log: $dir.log)"
# A target leaves its folder (keel_tests.dir) in CMakeFiles even unbuilt.
[ -z "$(find "$dir" -name 'keel_tests*' -o -name 'log_example*' -o -name 'keel_cli*')" ] ||
  fail "keel's tests, example or command are targets of the parent"

step "parent: keel's tests switched on use the parent's GTest::gtest target"
dir=$out/parent-tests
quiet "$dir.log" cmake -S tests/package/parent -B "$dir" -DKEEL_SOURCE_DIR="$root" -DKEEL_TESTS=ON
grep -q "keel tests: GoogleTest from the parent project's GTest::gtest target" "$dir.log" ||
  fail "keel's tests did not take the parent's GoogleTest (log: $dir.log)"

step "parent: keel with tests, examples and its own GoogleTest writes only into its folder"
dir=$out/parent-alone
quiet "$dir.log" cmake -S tests/package/parent -B "$dir" -DKEEL_SOURCE_DIR="$root" -DPARENT_GTEST=OFF \
  -DKEEL_TESTS=ON -DKEEL_EXAMPLES=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON
quiet "$dir.log" cmake --build "$dir" -j"$jobs"
[ -x "$dir/keel/keel_tests" ] || fail "keel_tests was not built in keel's folder"
top=$(cd "$dir" && ls | tr '\n' ' ')
[ "$top" = "CMakeCache.txt CMakeFiles Makefile cmake_install.cmake keel " ] ||
  fail "the parent's build folder holds more than the parent's own files and keel/: $top"

# ------------------------------------------------------------------- source
step "the source tree is as it was"
[ "$(git status --porcelain --untracked-files=all 2>/dev/null || true)" = "$source_state_before" ] ||
  fail "the checks changed files in the source tree"
echo "package checks passed"
