#!/usr/bin/env bash
# Builds the Debian package from a built Release tree (cpack -G DEB), checks it
# with lintian, installs it with apt as a user would and tries the installed
# programs from an empty folder: a command file renders as the build's runner
# renders it, the starter module files and the firmware files are found through
# the runner's lookup order, the man pages are found. The package is removed
# again on every way out, so a failed check never leaves it installed.
# Usage: check-package.sh BUILD-DIR
set -euo pipefail
build=$(realpath "$1")
work="$build/package-check"
fail() { echo "package check: $*" >&2; exit 1; }
rm -rf "$work" "$build"/packages/vantorix_*.deb
mkdir -p "$work/empty" "$work/home"

(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(echo "$build"/packages/vantorix_*.deb)
version=$(dpkg-deb -f "$deb" Version)
echo "Debian package $(basename "$deb"):"
dpkg-deb -f "$deb" Package Version Section Depends | sed 's/^/  /'
dpkg-deb -c "$deb" | awk '{ print "  " $6 }'
lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 || { cat "$work/lintian.txt" >&2; fail "lintian reports errors"; }
tags=$(grep -E '^[EWIPNXO]: ' "$work/lintian.txt" || true)
echo "lintian: ${tags:-no errors, no warnings}"

board=
cleanUp() {
  [ -n "$board" ] && kill "$board" 2>/dev/null || true
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq vantorix >/dev/null 2>&1 || true
}
trap cleanUp EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt-get install failed"; }

cd "$work/empty"
export HOME="$work/home"
unset XDG_DATA_HOME
[ "$(command -v vantorix-cli)" = /usr/bin/vantorix-cli ] || fail "vantorix-cli is not /usr/bin/vantorix-cli"
[ "$(vantorix-cli --version)" = "vantorix-cli $version" ] || fail "vantorix-cli --version says $(vantorix-cli --version)"
[ "$(vantorix-board --version)" = "vantorix-board $version" ] || fail "vantorix-board --version"

# A command file renders as the build's own runner renders it.
vantorix-cli -m KP350 -a 90 /usr/share/doc/vantorix/examples/hello.txt -o hello.png
"$build/vantorix-cli" -m KP350 -a 90 /usr/share/doc/vantorix/examples/hello.txt -o "$work/hello.png"
cmp -s hello.png "$work/hello.png" || fail "the installed runner draws hello.txt differently"

# The first watch copies the starters into the user's folder and runs the
# model's file from there (SIGINT ends it, as Ctrl+C does).
timeout -s INT 3 vantorix-cli --watch -m KP280 -a 90 -o watch.png 2>watch.err || true
folder="$HOME/.local/share/vantorix"
grep -qx "vantorix-cli: starter module files copied to $folder/" watch.err || fail "watch said: $(cat watch.err)"
[ "$(ls "$folder" | wc -l)" = 24 ] || fail "$(ls "$folder" | wc -l) starter files in $folder"
vantorix-cli -m KP280 -a 90 /usr/share/vantorix/starter/KP280_90.txt -o starter.png
cmp -s watch.png starter.png || fail "the watched module file is not the starter's"
! ls KP* >/dev/null 2>&1 || fail "module files were copied into the current folder"

# Firmware: the board simulator runs V1.00; the question (answered no: no
# terminal) names the file the lookup found. The lookup order is the
# --firmware-dir folder, the runner's folder, ../share/vantorix beside it.
vantorix-board --fw 1.00 --link "$work/board" >/dev/null &
board=$!
for _ in $(seq 50); do [ -L "$work/board" ] && break; sleep 0.1; done
offered() {
  "$@" -p "$work/board" --ask -v </dev/null 2>&1 | sed -n 's/.*new vantorix firmware V\([0-9.]*\) available.*/\1/p'
}
shipped=$(ls /usr/share/vantorix/vantorix_Pico_V*.uf2 2>/dev/null | sort -V | tail -1 || true)
if [ -n "$shipped" ]; then
  newest=${shipped##*_V}
  [ "$(offered vantorix-cli)" = "${newest%.uf2}" ] || fail "the shipped firmware $shipped is not offered"
else
  echo "The package carries no firmware files: the lookup is checked with stand-ins."
  # The installed runner, copied into a prefix of its own with a stand-in.
  mkdir -p "$work/prefix/bin" "$work/prefix/share/vantorix"
  cp /usr/bin/vantorix-cli "$work/prefix/bin/"
  head -c 1024 /dev/zero >"$work/prefix/share/vantorix/vantorix_Pico_V1.10.uf2"
  [ "$(offered "$work/prefix/bin/vantorix-cli")" = 1.10 ] || fail "../share/vantorix is not looked in"
  [ -z "$(offered vantorix-cli)" ] || fail "the installed runner found firmware where none is"
fi
mkdir -p "$work/firmware"
head -c 1024 /dev/zero >"$work/firmware/vantorix_Pico_V1.02.uf2"
[ "$(offered vantorix-cli --firmware-dir "$work/firmware")" = 1.02 ] || fail "--firmware-dir does not come first"

for page in vantorix-cli vantorix-board incbake; do
  [ "$(man -w "$page")" = "/usr/share/man/man1/$page.1.gz" ] || fail "man -w $page: $(man -w "$page" 2>&1)"
done
rule=/usr/lib/udev/rules.d/70-vantorix.rules
for id in 000a 0003 000f; do grep -q "idProduct}==\"[0-9a-f|]*$id" "$rule" || fail "the udev rule lacks 2e8a:$id"; done
echo "The Debian package installs and runs: $(basename "$deb"), lintian without errors."
