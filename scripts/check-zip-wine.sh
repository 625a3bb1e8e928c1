#!/usr/bin/env bash
# Packs the Windows zip (cpack -G ZIP in the cross build), unpacks it into a
# fresh folder and starts Vantorix.exe there under Wine once, as a user would:
# the zip holds what it should, the first start copies the starter module
# files beside the program (not over a file the user has there) and draws the
# welcome screen, the window follows a board on COM5 that runs an older
# firmware and offers it the zip's firmware file, the About box names the
# version, and F1 opens the help.
# Usage: check-zip-wine.sh CROSS-BUILD-DIR NATIVE-BUILD-DIR
set -euo pipefail
cross=$(realpath "$1") native=$(realpath "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
check="$cross/zip-check"
rm -rf "$check" "$cross"/packages/vantorix-*-win32.zip
mkdir -p "$check"
(cd "$cross" && cpack -G ZIP >"$check/cpack.log" 2>&1) || { cat "$check/cpack.log" >&2; exit 1; }
zip=$(echo "$cross"/packages/vantorix-*-win32.zip)
(cd "$check" && cmake -E tar xf "$zip")
work=$(echo "$check"/vantorix-*-win32)
version=${work##*/vantorix-}
version=${version%-win32}
echo "Windows zip $(basename "$zip"):"
(cd "$work" && find . -type f | sort | sed 's/^\.\//  /')

for file in Vantorix.exe Vantorix.chm vantorix-send.exe incbake.exe README.txt LICENSE.txt; do
  [ -f "$work/$file" ] || { echo "The zip lacks $file" >&2; exit 1; }
done
starters=$(cd "$work/starter" && ls)
[ "$(wc -l <<<"$starters")" = 24 ] || { echo "The zip holds $(wc -l <<<"$starters") starter files" >&2; exit 1; }
firmware=$(cd "$work" && ls vantorix_Pico_V*.uf2 2>/dev/null | sort -V | tail -1 || true)
if [ -z "$firmware" ]; then
  # Only its name counts here (under Wine no boot drive arrives); never packed.
  firmware=vantorix_Pico_V1.10.uf2
  head -c 1024 /dev/zero >"$work/$firmware"
  echo "The zip carries no firmware: a stand-in $firmware beside the program for this check."
fi
offered=${firmware##*_V}
offered=${offered%.uf2}
# A module file the user already has in this folder stays as it is.
printf '#DF0,255,0\n' >"$work/KP096_0.txt"

source "$root/scripts/wine-session.sh"
probe="$cross/src/win/vantorix-probe.exe"
startBoard --fw 1.00 -m 3 >"$check/board.out" 2>"$check/board.log"
mapBoard
start
question=$(wine "$probe" msgbox 10000 no 2>&1) || fail "no update question"
[ "$question" = "found RP2040 Pico vantorix V1.00\nnew vantorix firmware V$offered available.\nUpdate Now ?" ] ||
  fail "the update question is $question"
for name in $starters; do
  if [ "$name" = KP096_0.txt ]; then
    [ "$(cat "$work/$name")" = '#DF0,255,0' ] || fail "the user's $name was replaced"
  else
    cmp -s "$work/starter/$name" "$work/$name" || fail "$name was not copied beside the program"
  fi
done
sleep 2
title=$(xdotool getwindowname "$window")
[ "$title" = "ZR KP200NN (COM5)" ] || fail "with the board the title is $title"
runner "$check/welcome-runner.png" 3 0 1 "$work/starter/KP200_0.txt"
shoot 1 "$check/welcome-runner.png" "$check/welcome.png"
same "$check/welcome.png" "$check/welcome-runner.png" "the welcome screen of KP200_0.txt"

xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key ctrl+u
about=$(wine "$probe" window "About Vantorix" 3000 "Vantorix $version" 2>&1 | tr -d '\r') || fail "Ctrl+U shows no About box"
grep -q "Vantorix $version" <<<"$about" || fail "the About box says: $about"
xdotool windowfocus --sync "$(xdotool search --onlyvisible --name "^About Vantorix$" | head -1)" 2>/dev/null || true
xdotool key Escape
sleep 0.5
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key F1
for _ in $(seq 50); do xdotool search --onlyvisible --name "^Vantorix Help$" >/dev/null 2>&1 && break; sleep 0.1; done
xdotool search --onlyvisible --name "^Vantorix Help$" >/dev/null 2>&1 || fail "F1 shows no help window"
stop
echo "The Windows zip runs as unpacked under Wine: starters copied, welcome screen, board offered V$offered, About, help."
