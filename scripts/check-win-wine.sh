#!/usr/bin/env bash
# Runs the Windows groundwork checks under Wine in one go (vantorix-wintest.exe):
# resources, program path, shortcuts, vantorix-send.exe, and JPEG decoding
# through WIC against the Linux decoder (vantorix-cli --decode).
# Usage: check-win-wine.sh CROSS-BUILD-DIR NATIVE-BUILD-DIR
# WINEPREFIX may name a prefix to reuse; otherwise one is made in the cross build.
set -euo pipefail
cross=$(realpath "$1") native=$(realpath "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
work="$cross/wine-check"
rm -rf "$work"
mkdir -p "$work"

# JPEG files of several kinds, made from the pictures the program carries.
pictures="$root/data/pictures"
(
  cd "$work"
  cjpeg -outfile base420.jpg "$pictures/demo1_kp150.bmp"
  cjpeg -sample 1x1 -quality 95 -outfile full444.jpg "$pictures/demo1_kp200.bmp"
  cjpeg -sample 2x1 -quality 60 -restart 2 -outfile h422restart.jpg "$pictures/demo2_kp150.bmp"
  cjpeg -progressive -outfile progressive.jpg "$pictures/demo2_kp280.bmp"
  cjpeg -grayscale -outfile grey.jpg "$pictures/logo.bmp"
  cjpeg -optimize -quality 30 -outfile low.jpg "$pictures/logo.bmp"
  # JFIF densities: 300 dots per inch, and 40 dots per centimetre.
  setDensity() { # file units density
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x\\x%02x' "$2" $(($3 >> 8)) $(($3 & 255)) \
      $(($3 >> 8)) $(($3 & 255)))" | dd of="$1" bs=1 seek=13 conv=notrunc status=none
  }
  cp base420.jpg dpi300.jpg && setDensity dpi300.jpg 1 300
  cp grey.jpg dpcm40.jpg && setDensity dpcm40.jpg 2 40
)
# An odd-sized JPEG from the outside corpus, when it lies beside the checkout.
for testdata in "$root/../shared/testdata" "$root/../../shared/testdata" /work/shared/testdata; do
  if [ -f "$testdata/bmpsuite/reference/rgb24.jpg" ]; then
    cp "$testdata/bmpsuite/reference/rgb24.jpg" "$work/odd127x64.jpg"
    break
  fi
done
pairs=()
for jpg in "$work"/*.jpg; do
  name=$(basename "$jpg" .jpg)
  "$native/vantorix-cli" --decode "$jpg" "$work/$name-linux.bmp" >/dev/null
  pairs+=("$name.jpg" "$name-linux.bmp")
done
cp "$cross/src/win/vantorix-wintest.exe" "$cross/src/win/vantorix-send.exe" "$work/"

# Wine needs a display for windows: the session's private Xvfb.
source "$root/scripts/wine-session.sh"

# Largest differences allowed between WIC and libjpeg-turbo (per channel):
# the mean over a picture, and any single value (chroma upsampling differs at edges).
(cd "$work" && timeout 300 wine vantorix-wintest.exe vantorix-send.exe \
  "${pairs[@]}" --tolerance 2.5 100 </dev/null 2>/dev/null | tr -d '\r')
