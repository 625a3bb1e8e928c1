#!/usr/bin/env bash
# Runs Vantorix.exe under Wine and drives its menu commands as a user would:
# every accelerator through xdotool, the pop-up menu's Exit, the About box,
# the help, the clipboard and, with vantorix-board on COM5, the LED dialog.
# The program's own state (menu marks, settings, window shape) is read through
# its test-only state report, which vantorix-probe asks for.
# Usage: check-menu-wine.sh CROSS-BUILD-DIR NATIVE-BUILD-DIR
set -euo pipefail
cross=$(realpath "$1") native=$(realpath "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
work="$cross/menu-check"
rm -rf "$work"
mkdir -p "$work"
source "$root/scripts/wine-session.sh"
cp "$cross/src/win/Vantorix.exe" "$cross/src/win/Vantorix.chm" "$cross/src/win/vantorix-probe.exe" \
  "$root/examples/hello.txt" "$work/"
printf '#DO90\n' >"$work/turn90.txt"
# The open dialog is not driven: the program takes this name as chosen.
export VANTORIX_TEST_OPEN=hello.txt VANTORIX_TEST_STATE=state.txt

probe() { (cd "$work" && wine vantorix-probe.exe "$@" </dev/null 2>>"$work/probe.err" | tr -d '\r'); }
# The state report, taken after each step: value KEY. Keys wait in the
# window's queue behind the report's request, so a check that does not hold
# yet takes the report again for a while before it fails.
report=
snapshot() { report=$(probe state) || fail "no state report"; }
value() { sed -n "s/^$1=//p" <<<"$report"; }
# holds TEST...: runs TEST on fresh reports until it succeeds (1 when it never does).
holds() {
  for _ in $(seq 20); do
    "$@" && return 0
    sleep 0.2
    snapshot
  done
  return 1
}
is() { [ "$(value "$1")" = "$2" ]; }
# listed KEY ID: the menu list KEY (checked, grayed) holds ID.
listed() { tr , '\n' <<<"$(value "$1")" | grep -qx "$2"; }
unlisted() { ! listed "$@"; }
# expect KEY VALUE WHAT
expect() { holds is "$1" "$2" || fail "$3: $1 is '$(value "$1")', not '$2'"; }
# marked KEY ID WHAT, unmarked KEY ID WHAT: the menu list KEY holds ID, or not.
marked() { holds listed "$1" "$2" || fail "$3: $2 is not in $1"; }
unmarked() { holds unlisted "$1" "$2" || fail "$3: $2 is in $1"; }
# press KEYS... : keys to the main window, then time for the command (and a tick).
press() {
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key "$@"
  sleep 0.4
}

# aboutShows R,G,B: the About box has text in that colour (its connection lines).
aboutShows() {
  local box pixels
  box=$(xdotool search --onlyvisible --name "^About Vantorix$" | head -1)
  eval "$(xdotool getwindowgeometry --shell "$box")"
  import -window root "$work/about.png"
  pixels=$(convert "$work/about.png" -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage -fill black \
    +opaque "rgb($1)" -fill white -opaque "rgb($1)" -format "%[fx:round(mean*w*h)]" info:)
  [ "$pixels" -gt 20 ] || fail "the About box shows no text in rgb($1)"
}
# visible NAME: a window of that title is on the screen.
visible() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
# Escape on the About box ends it (Wine takes a moment after a probe ran).
closeAbout() {
  xdotool windowfocus --sync "$(xdotool search --onlyvisible --name "^About Vantorix$" | head -1)" 2>/dev/null || true
  xdotool key Escape
  for _ in $(seq 50); do visible "About Vantorix" || return 0; sleep 0.1; done
  fail "Escape leaves the About box"
}

# 1. Without a board.
start
sleep 1
snapshot
expect title "ZR KP096NN" "first start"
expect grayed 250 "the LED command without a board, help present"
expect checked 140,210,240 "first start's marks"

press ctrl+o
snapshot
expect lastFile hello.txt "Ctrl+O"
runner "$work/open-runner.png" 1 0 1 "$work/hello.txt"
shoot 1 "$work/open-runner.png" "$work/open.png"
same "$work/open.png" "$work/open-runner.png" "the file chosen with Ctrl+O"

press ctrl+d
snapshot
expect Demo 1 "Ctrl+D"
marked checked 110 "Ctrl+D leaves no mark"
press ctrl+d ctrl+t
snapshot
expect Demo 0 "Ctrl+D again"
expect topmost 1 "Ctrl+T"
marked checked 150 "Ctrl+T leaves no mark"
press ctrl+t ctrl+s
snapshot
expect topmost 0 "Ctrl+T again"
expect region 1 "Ctrl+S cuts the window to the outline"
expect ShowWindow 0 "Ctrl+S"
unmarked checked 140 "Ctrl+S leaves the Show Window mark"
press ctrl+s ctrl+z
snapshot
expect region 0 "Ctrl+S again"
expect ZoomWindow 2 "Ctrl+Z"
runner "$work/zoom-runner.png" 1 0 2 "$work/hello.txt"
expect client "$(identify -format %w,%h "$work/zoom-runner.png")" "the client area at zoom 2"
press ctrl+c
sleep 0.5
[ "$(probe clipboard)" = "$(value client | tr , x)" ] || fail "the clipboard holds $(probe clipboard)"
press ctrl+z alt+2
snapshot
expect ZoomWindow 1 "Ctrl+Z again"
expect title "ZR KP150NN" "Alt+2"
press alt+t
snapshot
expect title "ZR KP150TC" "Alt+T"
marked checked 230 "Alt+T leaves no mark"
press alt+1 alt+3 alt+4 alt+5 alt+6
snapshot
expect title "ZR KP240NN" "Alt+1 to Alt+6"
expect Touch 0 "the KP240 without touch"
marked grayed 230 "touch is not grey on the KP240"
press alt+t
snapshot
expect Touch 0 "Alt+T on the KP240"

# A rotated module: the file, then the view turned with Ctrl+2.
press ctrl+o
sleep 0.5
press ctrl+2
snapshot
expect Angle 90 "Ctrl+2"
runner "$work/turn-runner.png" 6 0 1 "$work/hello.txt" "$work/turn90.txt"
expect client "$(identify -format %w,%h "$work/turn-runner.png")" "the turned window's size"
shoot 1 "$work/turn-runner.png" "$work/turn.png"
same "$work/turn.png" "$work/turn-runner.png" "the KP240 turned by Ctrl+2"
press ctrl+3 ctrl+4
snapshot
expect Angle 270 "Ctrl+3, Ctrl+4"
press ctrl+1 alt+l
snapshot
expect Angle 0 "Ctrl+1"
expect led 0 "Alt+L without a board"
# The grey command's accelerator sends nothing, so the Alt key alone opened the menu bar.
xdotool key Escape

press ctrl+u
about=$(probe window "About Vantorix" 3000 "not connected") || fail "Ctrl+U shows no About box"
grep -q "Version 1.3, January 2025" <<<"$about" || fail "the About box says: $about"
aboutShows 222,0,0
closeAbout

press F1
for _ in $(seq 50); do visible "Vantorix Help" && break; sleep 0.1; done
visible "Vantorix Help" || fail "F1 shows no help window"

# Exit from the pop-up menu: right button, File, Exit.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 20)) $((Y + 20)) click 3
sleep 0.5
xdotool key f x
timeout 20 wineserver -w || fail "Exit from the pop-up menu did not end the program"
grep -q '^Module=6' "$work/Vantorix.ini" || fail "the model chosen is not kept"

# 2. With a board: the LED dialog, its values on the board, the About box.
sed -i 's/^Module=6/Module=1/' "$work/Vantorix.ini"
startBoard --fw 1.07 -m 1 --record "$work/record.bin" >"$work/board.out"
mapBoard
start
sleep 2
snapshot
expect title "ZR KP096NN (COM5)" "with the board"
unmarked grayed 250 "the LED command is grey with a board"
press alt+l
snapshot
expect led 1 "Alt+L"
expect ledOpen 1 "Alt+L"
marked checked 250 "Alt+L leaves no mark"
ledAtItsPlace() { [ "$(value ledWindow)" = "$(value ledPos)" ]; }
holds ledAtItsPlace || fail "the LED dialog at $(value ledWindow), not $(value ledPos)"
# Three slider moves at once: the board hears the last value.
probe led 50 40 30 >/dev/null || fail "no LED dialog to move"
sleep 0.4
xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key Up
sleep 0.4
xdotool key Down Down
sleep 0.4
snapshot
expect brightness 69 "the slider and the arrow keys"
probe window LED 2000 69% >/dev/null || fail "the LED dialog does not show 69%"
# Moves within one tick go out as one value; a tick may fall between two of them.
sentLevels() {
  levels=$(grep -ao '#LB[0-9]*' "$work/record.bin" | tr '\n' ' ')
  [[ "$levels" =~ ^(#LB50\ )?(#LB60\ )?#LB70\ #LB71\ (#LB70\ )?#LB69\ $ ]]
}
holds sentLevels || fail "the board received the brightness values $levels"
# The dialog travels with the main window.
before=$(value ledWindow)
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool windowmove "$window" $((X + 40)) $((Y + 30))
sleep 0.5
snapshot
expect ledWindow "$((${before%,*} + 40)),$((${before#*,} + 30))" "the LED dialog after the window moved by (40, 30) from $before"
press ctrl+u
about=$(probe window "About Vantorix" 3000 "RP2040 Pico Firmware V1.07") ||
  fail "the About box does not show the board"
grep -q "COM5" <<<"$about" || fail "the About box names no port: $about"
aboutShows 0,170,0
closeAbout
press ctrl+2
# Alt+F4, the window system's own close key, ends the program with the dialog open.
press alt+F4
timeout 20 wineserver -w || fail "Alt+F4 did not end the program"
grep -aq '#DO90' "$work/record.bin" || fail "Ctrl+2 did not turn the board"
grep -q '^LedDlg=.*,1' "$work/Vantorix.ini" || fail "the open LED dialog is not kept"
# It opens again at the next start with the board there.
start
sleep 2
snapshot
expect led 1 "the LED dialog at start"
# The board goes: the next command finds it gone, and the window lets it go.
kill "$board"
wait "$board" 2>/dev/null || true
press r
sleep 0.3
snapshot
expect title "ZR KP096NN" "the board gone"
expect led 0 "the board gone"
marked grayed 250 "the LED command stays enabled without the board"
stop
echo "Vantorix.exe under Wine: every accelerator, the pop-up menu, About, help, clipboard and LED dialog as expected."
