#!/usr/bin/env bash
# Runs Vantorix.exe under Wine on a private Xvfb screen and checks what a user
# sees: the first start without an ini file, the ini file written at exit, a
# command file named on the command line (plain and quoted) drawn exactly as
# the runner draws it, a dropped picture, the character keys, zoom 2 from the
# ini file, and a board on COM5: its update questions, answered through
# vantorix-probe.exe, the send-file dialog, the start of an upload (and a
# name sent meanwhile, run after it), and the board's touch reports.
# Usage: check-vantorix-wine.sh CROSS-BUILD-DIR NATIVE-BUILD-DIR
# WINEPREFIX may name a prefix to reuse; otherwise one is made in the cross build.
set -euo pipefail
cross=$(realpath "$1") native=$(realpath "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
work="$cross/vantorix-check"
rm -rf "$work"
mkdir -p "$work"
source "$root/scripts/wine-session.sh"
cp "$cross/src/win/Vantorix.exe" "$work/"
probe="$cross/src/win/vantorix-probe.exe"

# 1. First start, no ini file: model 1, window at (100, 0). Keys draw.
start
[ "$(xdotool getwindowname "$window")" = "ZR KP096NN" ] || fail "title $(xdotool getwindowname "$window")"
eval "$(xdotool getwindowgeometry --shell "$window")"
# Without a window manager Wine draws the frame itself: the window's
# (100, 0) puts its inside at (103, 22).
[ "$X,$Y" = "103,22" ] || fail "window inside at $X,$Y, not at (100, 0)"
# The module file's job (none here) holds the window for half a second.
sleep 1
xdotool windowfocus --sync "$window"
printf '#DF255,0,0\n' >"$work/red.txt"
printf '#DF0,255,255\n' >"$work/cyan.txt"
printf '\033S2\n' >"$work/screen2.txt"
for key in r:red c:cyan 2:screen2; do
  xdotool key "${key%%:*}"
  sleep 0.5
  runner "$work/key-runner.png" 1 0 1 "$work/${key#*:}.txt"
  shoot 1 "$work/key-runner.png" "$work/key.png"
  same "$work/key.png" "$work/key-runner.png" "key ${key%%:*}"
done
stop
printf '[Vantorix]\r\nWindowPos=100,0\r\nDemo=0\r\nShowWindow=1\r\nZoomWindow=1\r\nonTop=0\r\nModule=1\r\nTouch=0\r\nAngle=0\r\nLedDlg=36,44,0\r\nPWM=95\r\nFWupdate=2\r\nProgEmptyPico=2\r\n' \
  >"$work/expected.ini"
cmp -s "$work/Vantorix.ini" "$work/expected.ini" || fail "the ini file at exit: $(tr -d '\r' <"$work/Vantorix.ini")"

# 1b. A picture dropped on the panel lands where it fell (the panel of model 1
# sits at (30, 16): client point (40, 36) is panel pixel (10, 20), handed on
# 1-based); dropped beside the panel it is placed at (0, 0). Drop handles do
# not cross processes under Wine: the program drops on itself when asked.
convert -size 24x12 xc:orange -fill blue -draw "rectangle 2,2 9,9" "BMP3:$work/pic.bmp"
for drop in 40,36:11,21 5,5:0,0; do
  export VANTORIX_TEST_DROP="${drop%%:*},pic.bmp"
  start
  sleep 2
  runner "$work/drop-runner.png" 1 0 1 --at "${drop#*:}" "$work/pic.bmp"
  shoot 1 "$work/drop-runner.png" "$work/drop.png"
  stop
  unset VANTORIX_TEST_DROP
  same "$work/drop.png" "$work/drop-runner.png" "picture dropped at ${drop%%:*}"
done

# 2. Command files on the command line, plain and (with a blank in its
# name) quoted, on model 3 at 90 degrees from the ini file.
cp "$root/examples/hello.txt" "$work/hello.txt"
cp "$root/examples/fonts.txt" "$work/my fonts.txt"
cp "$root/examples/orientation.txt" "$work/orientation.txt"
sed -i 's/^Module=1/Module=3/; s/^Angle=0/Angle=90/' "$work/Vantorix.ini"
# The orientation file turns the view: the window fits itself to the turned module.
for file in "hello.txt" "my fonts.txt" "orientation.txt"; do
  start "$file"
  sleep 2
  runner "$work/file-runner.png" 3 90 1 "$work/$file"
  shoot 1 "$work/file-runner.png" "$work/file.png"
  stop
  same "$work/file.png" "$work/file-runner.png" "command line $file"
done

# 3. Zoom 2 from the ini file, on the KP350: every panel pixel a 2 x 2 block.
sed -i 's/^Module=3/Module=5/; s/^Angle=90/Angle=0/; s/^ZoomWindow=1/ZoomWindow=2/' "$work/Vantorix.ini"
start "hello.txt"
sleep 2
runner "$work/zoom-runner.png" 5 0 2 "$work/hello.txt"
shoot 2 "$work/zoom-runner.png" "$work/zoom.png"
stop
# The panel (320 x 480 at (20, 18) in the KP350's picture) exactly; the
# smoothed module picture around it within a small mean difference.
panelArea=640x960+40+36
convert "$work/zoom.png" -crop $panelArea +repage "$work/zoom-panel.png"
convert "$work/zoom-runner.png" -crop $panelArea +repage "$work/zoom-runner-panel.png"
same "$work/zoom-panel.png" "$work/zoom-runner-panel.png" "zoom 2 panel"
mean=$(compare -metric MAE "$work/zoom.png" "$work/zoom-runner.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/' || true)
awk -v m="$mean" 'BEGIN { exit !(m + 0 < 0.02) }' || fail "zoom 2 picture differs by $mean on average"
grep -q '^ZoomWindow=2' "$work/Vantorix.ini" || fail "zoom not kept"

# 4. A board on COM5 (vantorix-board on a pseudo-terminal) that runs a KP200
# with firmware V1.00, while the folder holds V1.07: the window follows the
# board and shows the port in its title; the update question comes once and,
# answered No, lets the module file run, small enough to keep the send-file
# dialog hidden, and its commands reach the board. Then a picture whose
# transfer is larger than 10000 bytes shows the dialog, and the board's touch
# reports leave their marks, clamped to the panel's edges.
sed -i 's/^Module=5/Module=1/; s/^ZoomWindow=2/ZoomWindow=1/' "$work/Vantorix.ini"
cp "$work/hello.txt" "$work/KP200_0.txt"
# Never copied (under Wine no boot drive arrives): only its name counts.
head -c 1024 /dev/zero >"$work/vantorix_Pico_V1.07.uf2"
# After the module file has run (checked below, before the first of them).
printf '%s\n' '8000 1 0 200' '8000 2 240 320' '8000 2 150 0' '8000 4 120 150' '8000 3 50 250' \
  '8000 1 200 100' >"$work/touches.txt"
# The marks as the runner draws them: 3 x 3 red (1) or green (2) around the
# point, a white pixel (4), nothing else; points kept 1 pixel inside the panel.
printf '%s\n' '#FA 255,0,0, 0,199, 2,201' '#FA 0,255,0, 238,318, 240,320' \
  '#FA 0,255,0, 149,0, 151,2' '#FA 255,255,255, 120,150, 120,150' '#FA 255,0,0, 199,99, 201,101' \
  >"$work/marks.txt"
# 100 x 60 pixels of 16 bits: 12000 bytes and the header.
convert -size 60x100 gradient:yellow-navy -rotate 90 "BMP3:$work/wide.bmp"
startBoard --fw 1.00 -m 3 --record "$work/record.bin" --touch-script "$work/touches.txt" -v \
  >"$work/board.out" 2>"$work/board.log"
mapBoard
"$cli" -m 3 -b "$work/expected.bin" "$work/hello.txt" >/dev/null
# Watches for the send-file dialog from before the start until past the module file's run.
(cd "$work" && exec wine "$probe" window "Send File" 5000 >"$work/hidden.out" 2>&1) &
hidden=$!
start
question=$(wine "$probe" msgbox 10000 no 2>&1) || fail "no update question"
[ "$question" = 'found RP2040 Pico vantorix V1.00\nnew vantorix firmware V1.07 available.\nUpdate Now ?' ] ||
  fail "the update question is $question"
wine "$probe" msgbox 1500 no >/dev/null 2>&1 && fail "the update question came again"
wait $hidden && fail "a small command file showed the send-file dialog: $(cat "$work/hidden.out")"
size=$(stat -c %s "$work/expected.bin")
tail -c "$size" "$work/record.bin" | cmp -s - "$work/expected.bin" || fail "the board did not receive the module file's bytes"
title=$(xdotool getwindowname "$window")
wine "$cross/src/win/vantorix-send.exe" "$work/wide.bmp"
log=$(wine "$probe" window "Send File" 10000 "Send bitmap with" 2>&1) || fail "no send-file dialog for a large picture: $log"
[ "$log" = "Open image 'wide.bmp'\r\nChange colordepth 24 bit -> 16 bit\r\nSend bitmap with 12066 bytes\r\n" ] ||
  fail "the send-file dialog's log is $log"
for _ in $(seq 150); do [ "$(grep -c 'touch ' "$work/board.log")" -ge 6 ] && break; sleep 0.1; done
sleep 0.5
runner "$work/board-runner.png" 3 0 1 "$work/hello.txt" "$work/wide.bmp" "$work/marks.txt"
shoot 1 "$work/board-runner.png" "$work/board.png"
stop
[ "$title" = "ZR KP200NN (COM5)" ] || fail "with the board the title is $title"
same "$work/board.png" "$work/board-runner.png" "the window following the board, with the picture and the touch marks"
# 5. A board with the Talvoren firmware (V2.00 and later) is asked even where
# older boards are updated without a question (FWupdate=1); Yes starts the
# upload: the send-file dialog shows and the board is sent into its boot
# loader (under Wine no boot drive arrives, so the upload ends there). A name
# sent meanwhile runs when the upload has ended.
sed -i 's/^FWupdate=2/FWupdate=1/' "$work/Vantorix.ini"
kill $board
wait $board 2>/dev/null || true
# COM5 stays mapped to the link, which the new board points at its terminal.
startBoard --fw 2.05 -m 3 >"$work/board.out" 2>"$work/board.log"
start
question=$(wine "$probe" msgbox 10000 yes 2>&1) || fail "no question for the Talvoren firmware"
[ "$question" = 'found RP2040 Pico board with Talvoren V2.05 firmware.\nwould you like to programm vantorix V1.07 firmware ?' ] ||
  fail "the question for the Talvoren firmware is $question"
log=$(wine "$probe" window "Send File" 10000 "Set Picoboard in Programming mode" 2>&1) ||
  fail "no send-file dialog for the upload: $log"
[ "$log" = 'Set Picoboard in Programming mode\r\n' ] || fail "the upload's log is $log"
# A name sent while the upload runs is held; the upload goes on undisturbed.
wine "$cross/src/win/vantorix-send.exe" "$work/red.txt"
for _ in $(seq 50); do grep -q 'restarted into the boot loader' "$work/board.log" && break; sleep 0.1; done
grep -q 'restarted into the boot loader' "$work/board.log" || fail "the board was not sent into its boot loader"
# The upload looks for the boot drive for 4 s, then the dialog closes by itself.
closed=
for _ in $(seq 100); do
  xdotool search --onlyvisible --name '^Send File$' >/dev/null 2>&1 || { closed=1; break; }
  sleep 0.1
done
sleep 1
stop
[ -n "$closed" ] || fail "the send-file dialog stayed after the upload"
echo "Vantorix.exe under Wine: start-up, ini file, drops, command line, keys, zoom 2, and with a board the"
echo "update question, the module file, the send-file dialog, the touch marks and the Talvoren upload as expected."
