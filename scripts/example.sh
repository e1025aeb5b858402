#!/usr/bin/env bash
# Builds the layer and runs the example program in a fresh directory, once
# at the default level and once in debug mode, then shows navl.log.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset linux64 >/dev/null
cmake --build build/linux64 --target log_example -j"$(nproc)" >/dev/null
dir=$(mktemp -d)
exe="$PWD/build/linux64/log_example"
(cd "$dir" && "$exe" && NAVL_LOGGING=25 "$exe" && NAVL_DEBUG=1 "$exe")
echo "--- navl.log"
cat "$dir/navl.log"
rm -rf "$dir"
