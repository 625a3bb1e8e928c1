#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for its share of a few
# minutes from seeded corpora, so that a reader or parser that starts to crash,
# leak, hang or overflow fails the tests. The corpora grow in a scratch folder
# under the build folder; the seed folders are only read.
# Usage: run-fuzzers.sh [SECONDS]   (the fuzzing time of all targets, default 300)
set -euo pipefail
cd "$(dirname "$0")/.."
total=${1:-300}
build="build-fuzz"
scratch=$build/fuzz-runs

# Each target's share of the time: the command interpreter reaches the most
# code, the image readers the most outside input.
declare -A parts=([fuzz_commands]=80 [fuzz_board_stream]=40 [fuzz_status_blocks]=20 [fuzz_bmp]=35
                  [fuzz_png]=35 [fuzz_gif]=30 [fuzz_jpg]=35 [fuzz_lnk]=25)
declare -A maxLength=([fuzz_commands]=8192 [fuzz_board_stream]=16384 [fuzz_status_blocks]=4096
                      [fuzz_bmp]=65536 [fuzz_png]=65536 [fuzz_gif]=65536 [fuzz_jpg]=65536
                      [fuzz_lnk]=4096)
targets=(fuzz_commands fuzz_board_stream fuzz_status_blocks fuzz_bmp fuzz_png fuzz_gif fuzz_jpg fuzz_lnk)

started=$SECONDS
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null
echo "fuzz targets built in $((SECONDS - started)) s"
testdata=$(sed -n 's/^VANTORIX_TESTDATA_DIR:PATH=//p' "$build/CMakeCache.txt")
[ -d "$testdata" ] || echo "run-fuzzers: no image corpora at '$testdata': the image targets start unseeded" >&2

rm -rf "$scratch"
for target in "${targets[@]}"; do mkdir -p "$scratch/$target/corpus"; done
# seed TARGET FILE...: copies the files that exist into the target's corpus.
seed() {
  local target=$1 file
  shift
  for file in "$@"; do
    [ -f "$file" ] && cp "$file" "$scratch/$target/corpus/"
  done
  return 0
}
# have TOOL: whether a seed-making tool is there; warns when it is not.
have() {
  command -v "$1" >/dev/null && return 0
  echo "run-fuzzers: $1 missing: fewer seeds for ${2}" >&2
  return 1
}

seed fuzz_bmp "$testdata"/bmpsuite/{g,q,b,x}/*.bmp
seed fuzz_png "$testdata"/pngsuite/png/*.png
seed fuzz_jpg "$testdata"/bmpsuite/reference/*.jpg
# JPEG files of each coding process and sampling that libjpeg writes.
if have cjpeg fuzz_jpg; then
  jpegOptions=("" "-progressive" "-grayscale" "-sample 1x1" "-sample 2x1 -optimize"
               "-restart 1 -quality 30" "-arithmetic")
  for picture in pal8 rgb24 rgb32; do
    for i in "${!jpegOptions[@]}"; do
      # shellcheck disable=SC2086 # the options are words
      cjpeg ${jpegOptions[$i]} "$testdata/bmpsuite/g/$picture.bmp" \
        >"$scratch/fuzz_jpg/corpus/$picture-$i.jpg" 2>/dev/null || true
    done
  done
fi
# GIF files from the PNG corpus: palettes of 2 to 256 colours, grey,
# transparency, interlacing, GIF87a, and frames of other sizes and places.
if have convert fuzz_gif; then
  png=$testdata/pngsuite/png
  gifs=$scratch/fuzz_gif/corpus
  for name in basn3p01 basn3p02 basn3p04 basn3p08 basn0g08 basn2c08 tbbn3p08 tp1n3p08; do
    convert "$png/$name.png" "$gifs/$name.gif" 2>/dev/null || true
  done
  convert -interlace GIF "$png/basn3p08.png" "$gifs/interlaced.gif" 2>/dev/null || true
  convert "$png/basn3p04.png" "GIF87:$gifs/gif87a.gif" 2>/dev/null || true
  convert -delay 10 "$png/basn3p02.png" -page +4+6 "$png/s09n3p02.png" -dispose previous \
    -page +0+0 "$png/tbbn3p08.png" -loop 0 "$gifs/frames.gif" 2>/dev/null || true
fi
seed fuzz_lnk fuzz/lnk/*
seed fuzz_status_blocks fuzz/status_blocks/*
seed fuzz_commands fuzz/commands/*
seed fuzz_board_stream examples/*.txt fuzz/commands/*

# Each target gets its share of the time left, so that what one run takes
# beyond its time (starting, reading the corpus) comes out of the later ones.
partsLeft=0
for target in "${targets[@]}"; do partsLeft=$((partsLeft + parts[$target])); done
fuzzingStarted=$SECONDS
failed=0
for target in "${targets[@]}"; do
  seconds=$(((total - (SECONDS - fuzzingStarted)) * parts[$target] / partsLeft))
  partsLeft=$((partsLeft - parts[$target]))
  ((seconds > 0)) || seconds=1
  options=(-max_total_time="$seconds" -max_len="${maxLength[$target]}" -timeout=20
           -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$scratch/$target/")
  [ "$target" = fuzz_commands ] && options+=(-dict=fuzz/commands.dict)
  log=$scratch/$target/log
  seeds=$(find "$scratch/$target/corpus" -type f | wc -l)
  if "$build/fuzz/$target" "${options[@]}" "$scratch/$target/corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "$target: ${seconds} s, $seeds seeds, $runs inputs ($rate a second)"
  else
    echo "$target FAILED: its log is $log, the input that failed is in $scratch/$target/" >&2
    grep -E "ERROR|SUMMARY|Test unit written" "$log" >&2 || tail -n 20 "$log" >&2
    failed=1
  fi
done
echo "fuzz targets built and run in $((SECONDS - started)) s"
exit "$failed"
