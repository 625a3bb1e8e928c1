#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (quietly; safe to rerun).
# Usage: install-deps.sh [build]
set -euo pipefail
packages=(cmake g++ make pkg-config zlib1g-dev libpng-dev libjpeg62-turbo-dev
          libgtest-dev googletest libbenchmark-dev xxd libstb-dev libgif-dev libcli11-dev
          mingw-w64 libz-mingw-w64-dev libudev-dev libcairo2-dev
          gcc-arm-none-eabi libnewlib-arm-none-eabi libstdc++-arm-none-eabi-newlib libusb-1.0-0-dev)
# installMissing PACKAGE...: installs those that are not installed yet.
installMissing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
installMissing "${packages[@]}"
# Node and npm run the firmware's emulator checks: the machine's own when it
# has them (Debian's npm conflicts with a Node that brings its own npm).
command -v node >/dev/null && command -v npm >/dev/null || installMissing nodejs npm

# Wine runs the 32-bit Windows programs in the tests; it needs the i386 packages.
# "install-deps.sh build" skips it: building and running the CLI does not need it.
[ "${1:-}" = build ] && exit 0
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
installMissing wine wine32:i386
# The package checks: man pages from the programs' help, the Debian package's
# dependencies read from the binaries, and its lint.
installMissing help2man file dpkg-dev man-db lintian
# The Windows program's checks: a display for Wine, JPEG files to decode, the
# help compiler and its reader, cairo for the icon and picture generator, and
# xdotool and ImageMagick to type into the window and take screenshots.
windows=(xvfb libjpeg-turbo-progs fp-utils libchm-bin libcairo2-dev xdotool imagemagick)
installMissing "${windows[@]}"
# The fuzz targets build with clang and its sanitizer and libFuzzer runtimes;
# cjpeg and ImageMagick (above) write their JPEG and GIF seeds.
installMissing clang libclang-rt-14-dev
