# Shared by the Wine checks (sourced, not run): the Wine prefix, a private
# Xvfb screen, starting and ending Vantorix.exe, screenshots and comparisons,
# and a board simulator on COM5. The sourcing script sets cross, native and
# work first. A Wine server still running for the prefix (from a run without
# a display) would keep its display-less desktop: it is let end first.
export WINEPREFIX="${WINEPREFIX:-$cross/wine-prefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cli="$native/vantorix-cli"

# A screen large enough for the KP350 at zoom 2 (720 x 1440 inside the frame).
display=
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
Xvfb ":$display" -screen 0 1600x1600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"
wineserver -w

fail() { echo "Vantorix under Wine: $*" >&2; exit 1; }
window=
# start ARGS...: runs the program in the check folder and waits for its window.
start() {
  (cd "$work" && exec wine Vantorix.exe "$@" </dev/null >>"$work/wine.log" 2>&1 &)
  window=
  for _ in $(seq 150); do
    window=$(xdotool search --name '^ZR KP' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && return 0
    sleep 0.1
  done
  fail "no window after starting with: $*"
}
# Ends the program as a user closing it would (WM_CLOSE), and waits for it.
stop() {
  wine taskkill /im Vantorix.exe >/dev/null 2>&1 || true
  timeout 30 wineserver -w || fail "the program did not end"
}
# shoot ZOOM RUNNER.png OUT.png: the window's client area, as large as the
# runner's window picture; the client area ends at the window's bottom edge
# (the frame and menu bar are above it).
shoot() {
  local width height
  width=$(identify -format %w "$2") height=$(identify -format %h "$2")
  eval "$(xdotool getwindowgeometry --shell "$window")"
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "${width}x${height}+$X+$((Y + HEIGHT - height))" +repage \
    -alpha off "$3"
}
# same A.png B.png WHAT: the two pictures have no differing pixel.
same() {
  local differ
  differ=$(compare -metric AE "$1" "$2" null: 2>&1 || true)
  [ "$differ" = 0 ] || fail "$3: $differ pixels differ"
}
# runner PNG MODEL ANGLE ZOOM FILE...: the window as vantorix-cli draws it.
runner() {
  local png=$1 model=$2 angle=$3 zoom=$4
  shift 4
  "$cli" -m "$model" -a "$angle" --zoom "$zoom" --window-png "$png" "$@" >/dev/null
  convert "$png" -alpha off "$png"
}
# startBoard ARGS...: vantorix-board with ARGS on a pseudo-terminal at $work/board.
startBoard() {
  "$native/vantorix-board" "$@" --link "$work/board" &
  board=$!
  trap 'kill $xvfb $board 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -L "$work/board" ] && break; sleep 0.1; done
}
# Maps COM5 to the board's link; the mapping stays for any board started on it later.
mapBoard() { bash "$(dirname "${BASH_SOURCE[0]}")/wine-map-board.sh" 5 "$work/board"; }
