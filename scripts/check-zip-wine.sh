#!/usr/bin/env bash
# Packs the Windows zip (cpack -G ZIP in the cross build), unpacks it into a
# fresh folder and starts Vantorix.exe there under Wine once, as a user would:
# the zip holds what it should, the first start copies the starter module
# files beside the program (not over a file the user has there), the window
# follows a board on COM5 that runs an older firmware and offers it the zip's
# firmware file (the native build's image), draws the welcome screen and sends
# it to the board, the About box names the version, and F1 opens the help.
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
# The firmware images beside the program are the native build's, unchanged.
zipImage() {
  local image
  image=$(cd "$work" && ls $1 2>/dev/null | sort -V | tail -1 || true)
  [ -n "$image" ] || { echo "The zip lacks $1 (the cross build takes it from -DVANTORIX_FIRMWARE_FROM)" >&2; exit 1; }
  cmp -s "$work/$image" "$native/firmware/$image" || { echo "The zip's $image is not the native build's" >&2; exit 1; }
  echo "$image"
}
zipImage 'vantorix_Pico2_V*.uf2' >/dev/null
firmware=$(zipImage 'vantorix_Pico_V*.uf2')
offered=${firmware##*_V}
offered=${offered%.uf2}
# A module file the user already has in this folder stays as it is.
printf '#DF0,255,0\n' >"$work/KP096_0.txt"

source "$root/scripts/wine-session.sh"
probe="$cross/src/win/vantorix-probe.exe"
"$cli" -m 3 -b "$check/welcome.bin" "$work/starter/KP200_0.txt" >/dev/null
startBoard --fw 1.00 -m 3 --record "$check/record.bin" >"$check/board.out" 2>"$check/board.log"
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
title=$(xdotool getwindowname "$window")
[ "$title" = "ZR KP200NN (COM5)" ] || fail "with the board the title is $title"
# Answered No, the question lets the module file of the board's model run.
# Under Wine without a window manager the answered box takes up to 2 s to go
# (the X driver waits for its withdrawal), so its run is waited for: the
# window draws each command before it sends it on to the board.
size=$(stat -c %s "$check/welcome.bin")
received() { tail -c "$size" "$check/record.bin" 2>/dev/null | cmp -s - "$check/welcome.bin"; }
for _ in $(seq 150); do received && break; sleep 0.1; done
received || fail "the board did not receive the commands of KP200_0.txt"
runner "$check/welcome-runner.png" 3 0 1 "$work/starter/KP200_0.txt"
# The repaint may trail the last command by a tick.
for _ in $(seq 5); do
  shoot 1 "$check/welcome-runner.png" "$check/welcome.png"
  compare -metric AE "$check/welcome.png" "$check/welcome-runner.png" null: >/dev/null 2>&1 && break
  sleep 0.2
done
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
