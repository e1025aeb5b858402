#!/usr/bin/env bash
# Builds the example program (build/linux64/log_example) and runs it three
# times in build/example/, each run labelled: at the default level, with
# NAVL_LOGGING=25, and in debug mode; after each run it shows the lines the
# run added to navl.log.  Then a short tour of the keel command
# (build/linux64/keel), each step shown as typed, and the lines the tour
# wrote.  The log stays in build/example/navl.log for a look afterwards
# (each run of this script starts it afresh).
set -euo pipefail
cd "$(dirname "$0")/.."
log=build/example-build.log
mkdir -p build
echo "=== building the example and the command: cmake --preset linux64 && cmake --build build/linux64 --target log_example keel_cli > $log"
if ! { cmake --preset linux64 && cmake --build build/linux64 --target log_example keel_cli -j"$(nproc)"; } >"$log" 2>&1; then
  tail -n 40 "$log"
  echo "the build failed (log: $log)"
  exit 1
fi
exe="$PWD/build/linux64/log_example"
keel="$PWD/build/linux64/keel"
dir=build/example
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"
# run LABEL ENV...: one labelled run, then the lines it added to navl.log.
run() {
  local label=$1
  shift
  local before=0
  [ -f navl.log ] && before=$(wc -l <navl.log)
  echo "=== run $label"
  env "$@" "$exe"
  echo "--- lines this run added to navl.log"
  tail -n +"$((before + 1))" navl.log
}
run "1: default settings (neither NAVL_LOGGING nor NAVL_DEBUG set): level 0" -u NAVL_LOGGING -u NAVL_DEBUG
run "2: NAVL_LOGGING=25: reports up to level 25" -u NAVL_DEBUG NAVL_LOGGING=25
run "3: NAVL_DEBUG=1: level 100, thread ids, lines echoed on standard output" -u NAVL_LOGGING NAVL_DEBUG=1

# step ENV... -- ARGS...: one step of the tour, shown as typed, then run.
step() {
  local env=()
  while [ "$1" != -- ]; do
    env+=("$1")
    shift
  done
  shift
  local shown="keel" arg
  for arg in "$@"; do
    case $arg in
    *[!A-Za-z0-9_./=-]*) shown+=" \"$arg\"" ;;
    *) shown+=" $arg" ;;
    esac
  done
  echo "\$ ${env[*]:+${env[*]} }$shown"
  env -u NAVL_LOGGING -u NAVL_DEBUG "${env[@]}" "$keel" "$@"
}
before=$(wc -l <navl.log)
echo "=== the keel command: a short tour"
step -- log "tour: a line from the shell, at level 0"
step -- log -l 50 "tour: level 50, above the default level 0: not written"
step NAVL_LOGGING=50 -- log -l 50 "tour: level 50 with NAVL_LOGGING=50: written"
step -- neterr 10061 --op "connect(s)"
step -- codename 129 AB
step -- version-compare 1.10.0 1.9.9
step -- os
step -- version
echo "--- lines the tour added to navl.log"
tail -n +"$((before + 1))" navl.log
echo "=== the whole log stays in $dir/navl.log"
