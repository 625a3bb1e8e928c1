#!/bin/sh
# Rebuilds modgen and draws the module pictures of data/modules again, with
# the contact sheet of the README.
# Usage: tools/modgen/regenerate.sh [preview-folder]
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-modgen"
cmake -S "$root/tools/modgen" -B "$build" >/dev/null
cmake --build "$build" -j2 >/dev/null
mkdir -p "$root/data/modules"
"$build/modgen" "$root/data/modules" --sheet "$root/docs/module-pictures.png" ${1:+--preview "$1"}
