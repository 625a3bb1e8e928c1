#!/usr/bin/env bash
# Builds and runs every test: a Release build, an ASan+UBSan build, a
# ThreadSanitizer build, the fuzz targets for five minutes, and the portable
# floors cross-compiled for 32-bit Windows with the Windows programs, checked
# under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

# The main build is the Release build users make, so that its warnings are seen too.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
# The board's firmware (built above) in the RP2040 emulator, and the Pico 2 image.
bash scripts/check-firmware.sh build

# The Debian package from the Release build, installed with apt and removed again.
bash scripts/check-package.sh build

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVANTORIX_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"

# The threads under ThreadSanitizer: the link, the jobs, the status blocks, the
# runner with a board, the simulator and the watch (child processes included).
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTORIX_TSAN=ON >/dev/null
cmake --build build-tsan -j"$jobs"
TSAN_OPTIONS="second_deadlock_stack=1" ctest --test-dir build-tsan --output-on-failure -j"$jobs"

# Every parser under the fuzzers for five minutes, so a regression shows.
bash scripts/run-fuzzers.sh 300

# The firmware built above goes beside Vantorix.exe and into the Windows zip.
cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake \
  -DVANTORIX_WINDOWS_PROGRAM_ONLY=ON -DINCBAKE_EXECUTABLE="$(pwd)/build/tools/incbake/incbake" \
  -DVANTORIX_FIRMWARE_FROM="$(pwd)/build/firmware" >/dev/null
cmake --build build-win32 -j"$jobs"
# One Wine prefix for all Windows checks.
export WINEPREFIX="$(pwd)/build-win32/wine-prefix"
bash scripts/check-incbake-wine.sh build-win32/tools/incbake/incbake.exe build/tools/incbake/incbake
bash scripts/check-win-wine.sh build-win32 build
bash scripts/check-link-wine.sh build-win32 build
bash scripts/check-vantorix-wine.sh build-win32 build
bash scripts/check-menu-wine.sh build-win32 build
bash scripts/check-stall-wine.sh build-win32 build
bash scripts/check-help.sh build-win32/src/win/Vantorix.chm
bash scripts/check-zip-wine.sh build-win32 build
echo "All tests passed; the portable floors, Vantorix.exe, incbake.exe, vantorix-send.exe, the resources and"
echo "the help build for i686-w64-mingw32 (checked under Wine); the Debian package installs and runs, and the"
echo "Windows zip runs as unpacked under Wine."
