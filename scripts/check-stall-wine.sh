#!/usr/bin/env bash
# Runs Vantorix.exe under Wine against a board that stops reading (vantorix-board
# stopped with SIGSTOP) while a large command file of inline bitmaps goes to it:
# while a command waits on the board the program stays idle, it lets the board
# go after the write time-out, runs the rest on the panel alone and paints it,
# and once the board reads again (SIGCONT) it takes the board up by itself, so
# what is sent afterwards reaches the board.
# Usage: check-stall-wine.sh CROSS-BUILD-DIR NATIVE-BUILD-DIR
# WINEPREFIX may name a prefix to reuse; otherwise one is made in the cross build.
set -euo pipefail
cross=$(realpath "$1") native=$(realpath "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
work="$cross/stall-check"
rm -rf "$work"
mkdir -p "$work"
source "$root/scripts/wine-session.sh"
cp "$cross/src/win/Vantorix.exe" "$work/"

# About 900 KB: 36 full panels of the KP096 as the board receives them, the
# last one turned, so the picture at the end is not the first one's.
convert -size 80x160 gradient:orange-navy "$work/panel.png"
convert "$work/panel.png" -rotate 180 "$work/last.png"
"$cli" -m 1 --prepare "$work/panel.png" "$work/panel.bmp"
"$cli" -m 1 --prepare "$work/last.png" "$work/last.bmp"
for i in $(seq 35); do printf '#BM0,0,'; cat "$work/panel.bmp"; printf '\n'; done >"$work/big.txt"
{ printf '#BM0,0,'; cat "$work/last.bmp"; printf '\n'; } >>"$work/big.txt"

# CPU time (clock ticks) of this prefix's wineserver and of the program.
# ownProcess PATTERN: the processes of this prefix whose name matches PATTERN.
ownProcess() {
  local pid
  for pid in $(pgrep "$1"); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
}
cpuTicks() {
  local pid total=0
  for pid in "$@"; do
    total=$((total + $(sed 's/.*) //' "/proc/$pid/stat" | awk '{ print $12 + $13 }')))
  done
  echo "$total"
}
title() { xdotool getwindowname "$window"; }
# waitFor SECONDS TEST...: runs TEST every 0.1 s until it succeeds (1 when it never does).
waitFor() {
  local tries=$(($1 * 10))
  shift
  for _ in $(seq "$tries"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}
connected() { [ "$(title)" = "ZR KP096NN (COM5)" ]; }
letGo() { [ "$(title)" = "ZR KP096NN" ]; }
sending() { xdotool search --onlyvisible --name '^Send File$' >/dev/null 2>&1; }
finished() { ! sending; }

startBoard -m 1 --record "$work/record.bin" >"$work/board.out" 2>"$work/board.log"
# A stopped board would not hear the end: it is woken first.
trap 'kill -CONT $board 2>/dev/null; kill $xvfb $board 2>/dev/null || true' EXIT
mapBoard
start
waitFor 10 connected || fail "the board was not taken up: the title is $(title)"
kill -STOP "$board"
wine "$cross/src/win/vantorix-send.exe" "$work/big.txt"
waitFor 10 sending || fail "no send-file dialog for the command file"
processes="$(ownProcess '^wineserver') $(ownProcess '^Vantorix\.exe$')"
[ "$(wc -w <<<"$processes")" = 2 ] || fail "the program's processes are not known: $processes"
# From the first bitmap until the board is let go, a command waits on the board.
before=$(cpuTicks $processes) started=$(date +%s%N)
waitFor 20 letGo || fail "the stalled board was not let go: the title is $(title)"
used=$(($(cpuTicks $processes) - before)) elapsed=$((($(date +%s%N) - started) / 1000000))
echo "While a command waited on the board for $elapsed ms, the program and wineserver used $used clock ticks."
[ "$elapsed" -ge 800 ] || fail "the board was let go after $elapsed ms, not after a write time-out"
# Idle is well under 1 % of a core; a window thread that spins on the panel takes a fifth.
ticksPerSecond=$(getconf CLK_TCK)
[ $((used * 1000 * 100)) -le $((elapsed * ticksPerSecond * 8)) ] ||
  fail "$used clock ticks in $elapsed ms while a command waited on the board"
waitFor 30 finished || fail "the command file did not end after the board was let go"
sleep 0.5
runner "$work/big-runner.png" 1 0 1 "$work/big.txt"
shoot 1 "$work/big-runner.png" "$work/big.png"
same "$work/big.png" "$work/big-runner.png" "the command file run on the panel alone"

# The board reads again: it is taken up by itself and hears the next command.
kill -CONT "$board"
waitFor 20 connected || fail "the board was not taken up again: the title is $(title)"
xdotool windowfocus --sync "$window"
xdotool key g
reached() { grep -aq '#DF0,255,0' "$work/record.bin"; }
waitFor 5 reached || fail "a command after the board came back did not reach it"
stop
echo "Vantorix.exe under Wine: idle while a command waits on a stalled board, the rest of the file"
echo "drawn on the panel alone, and the board taken up again when it reads again."
