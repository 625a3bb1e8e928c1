#!/bin/sh
# Rebuilds wingfx and draws data/win/vantorix.ico and data/win/zr2bmp.bmp again.
# Usage: tools/wingfx/regenerate.sh [preview-folder]
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-wingfx"
cmake -S "$root/tools/wingfx" -B "$build" >/dev/null
cmake --build "$build" -j2 >/dev/null
"$build/wingfx" "$root/data/win" ${1:+"$1"}
