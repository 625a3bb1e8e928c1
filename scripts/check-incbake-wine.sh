#!/usr/bin/env bash
# Runs the Windows incbake.exe under Wine and checks that its include file is
# the native one with CR LF line ends.
set -euo pipefail
exe=$(realpath "$1") native=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 1000 /dev/urandom > "$work/sample data.bin"
cp "$exe" "$work/incbake.exe"
(cd "$work" && "$native" "sample data.bin" </dev/null >/dev/null && mv "sample data.h" native.h)
(cd "$work" && WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$work/prefix}" timeout 300 wine incbake.exe "sample data.bin" </dev/null >/dev/null 2>&1)
sed 's/$/\r/' "$work/native.h" | cmp - "$work/sample data.h"
echo "incbake.exe under Wine writes the same include file with CR LF line ends."
