#!/bin/sh
# Rebuilds picgen and writes every picture of data/pictures again.
# Usage: tools/picgen/regenerate.sh [preview-folder]
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-picgen"
cmake -S "$root/tools/picgen" -B "$build" >/dev/null
cmake --build "$build" -j2 >/dev/null
"$build/picgen" "$root/data/pictures" ${1:+"$1"}
