#!/usr/bin/env bash
# Maps a COM port of the Wine prefix to a board simulator's pseudo-terminal and
# lists a Pico board on it in the registry, as Windows' usbser driver does.
# Usage: wine-map-board.sh PORT-NUMBER DEVICE-PATH   (WINEPREFIX set)
set -euo pipefail
port=$1 device_path=$2
# Wine reads its port mapping when its server starts: write it while none runs,
# then let the server that wrote it end, so the next program's server reads it.
wineserver -k 2>/dev/null || true
wineserver -w
wine reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /t REG_SZ /d "$device_path" /f >/dev/null
enum='HKLM\SYSTEM\CurrentControlSet\Services\usbser\Enum'
instance='USB\VID_2E8A&PID_000A\E6605838833A'
device="HKLM\\SYSTEM\\CurrentControlSet\\Enum\\$instance"
wine reg add "$enum" /v Count /t REG_DWORD /d 1 /f >/dev/null
wine reg add "$enum" /v 0 /t REG_SZ /d "$instance" /f >/dev/null
wine reg add "$device" /v FriendlyName /t REG_SZ /d "USB Serial Device (COM$port)" /f >/dev/null
wine reg add "$device" /v HardwareID /t REG_MULTI_SZ \
  /d 'USB\VID_2E8A&PID_000A&REV_0100\0USB\VID_2E8A&PID_000A' /f >/dev/null
wineserver -w
