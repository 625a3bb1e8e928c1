#!/bin/sh
# Rebuilds data/fonts/*.zpf and the licence texts of their sources from the
# installed Debian packages fonts-dejavu-core and console-setup-linux.
#   tools/fontgen/regenerate.sh [SHEETDIR]
# With SHEETDIR, a PNG sample sheet of every font is written there as well.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${FONTGEN_BUILD_DIR:-$root/build-fontgen-tool}

cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2
mkdir -p "$root/data/fonts"
if [ $# -ge 1 ]; then
  mkdir -p "$1"
  "$build/fontgen" "$root/data/fonts" --sheet "$1"
else
  "$build/fontgen" "$root/data/fonts"
fi
cp /usr/share/doc/fonts-dejavu-core/copyright "$root/data/fonts/LICENSE-DejaVu.txt"
gzip -dc /usr/share/doc/console-setup-linux/copyright.fonts.gz > "$root/data/fonts/LICENSE-consolefonts.txt"
