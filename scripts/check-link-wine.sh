#!/usr/bin/env bash
# The board link under Wine: vantorix-linktest.exe finds the board in the
# registry, opens COM5, which Wine maps to vantorix-board's pseudo-terminal,
# connects and forwards commands; the board's record must hold them exactly.
# Usage: check-link-wine.sh CROSS-BUILD-DIR NATIVE-BUILD-DIR
# WINEPREFIX may name a prefix to reuse; otherwise one is made in the cross build.
set -euo pipefail
cross=$(realpath "$1") native=$(realpath "$2")
work="$cross/link-check"
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="${WINEPREFIX:-$cross/wine-prefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
port=5
commands='#DF 255,0,0\n#FA 0,0,255,1,1,5,5\n'

"$native/vantorix-board" --fw 1.07 -m 3 --link "$work/board" --record "$work/record.bin" \
  >"$work/board.out" &
board=$!
trap 'kill $board 2>/dev/null || true; wait $board 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -L "$work/board" ] && break; sleep 0.1; done

bash "$(dirname "$0")/wine-map-board.sh" "$port" "$work/board"

timeout 120 wine "$cross/src/win/vantorix-linktest.exe" "$port" 107 3 "$commands" \
  </dev/null 2>/dev/null | tr -d '\r'
expected=$(printf "$commands" | wc -c)
for _ in $(seq 50); do
  [ "$(stat -c %s "$work/record.bin" 2>/dev/null || echo 0)" -ge "$expected" ] && break
  sleep 0.1
done
printf "$commands" | cmp - "$work/record.bin"
echo "ok: the board received exactly the forwarded commands"
