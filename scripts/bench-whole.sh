#!/usr/bin/env bash
# The runner and its peers as whole processes, on the same files, in one run:
# each pair runs interleaved (ours, peer, then peer, ours, ...) RUNS times and
# the table shows the medians of wall time and peak memory and their ratios.
# The machine's load changes between runs, so compare ratios of one run.
#
#   scripts/bench-whole.sh [-n RUNS] [-b BUILD_DIR] [-d PICTURE_DIR] [-c CLI]
#
# The pictures (about 100 MB) are made once in PICTURE_DIR and kept there.
# -c measures another vantorix-cli (an older build, say) with this build's peers.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=9
build=build
pictures="${TMPDIR:-/tmp}/vantorix-bench-whole"
cli=
while getopts "n:b:d:c:" option; do
    case $option in
    n) runs=$OPTARG ;;
    b) build=$OPTARG ;;
    d) pictures=$OPTARG ;;
    c) cli=$OPTARG ;;
    *)
        echo "usage: $0 [-n RUNS] [-b BUILD_DIR] [-d PICTURE_DIR] [-c CLI]" >&2
        exit 2
        ;;
    esac
done

if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target bench_whole >/dev/null
tools=$build/bench/whole
cli=${cli:-$build/vantorix-cli}
if [[ ! -x $tools/bench_measure ]]; then
    echo "bench-whole: the benchmark programs were not built (libjpeg, giflib and stb_image are needed)" >&2
    exit 1
fi

mkdir -p "$pictures"
if [[ ! -f $pictures/stream.bmp ]]; then
    echo "Making the pictures in $pictures ..." >&2
    "$tools/bench_makepictures" "$pictures"
fi
scratch=$(mktemp -d)
board_pid=
cleanup() {
    if [[ -n $board_pid ]]; then kill "$board_pid" 2>/dev/null || true; fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# One run of a command: "seconds kib" on stdout; fails when the command does.
measure() {
    local result
    result=$("$tools/bench_measure" "$@")
    if [[ ${result##* } != 0 ]]; then
        echo "bench-whole: failed: $*" >&2
        exit 1
    fi
    echo "${result% *}"
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

printf '%-34s %10s %8s %10s %8s %7s %7s\n' "What" "ours s" "ours MB" "peer s" "peer MB" "time x" "mem x"

# pair LABEL OURS_COMMAND... -- PEER_COMMAND... (both may start with --stdout PATH)
pair() {
    local label=$1
    shift
    local ours=() peer=()
    while [[ $1 != -- ]]; do
        ours+=("$1")
        shift
    done
    shift
    peer=("$@")
    local ours_times=() ours_kib=() peer_times=() peer_kib=() i result
    for ((i = 0; i < runs; i++)); do
        local order=(ours peer)
        ((i % 2)) && order=(peer ours)
        for side in "${order[@]}"; do
            if [[ $side == ours ]]; then
                result=$(measure "${ours[@]}")
                ours_times+=("${result% *}") ours_kib+=("${result#* }")
            else
                result=$(measure "${peer[@]}")
                peer_times+=("${result% *}") peer_kib+=("${result#* }")
            fi
        done
    done
    local ot ok pt pk
    ot=$(printf '%s\n' "${ours_times[@]}" | median)
    ok=$(printf '%s\n' "${ours_kib[@]}" | median)
    pt=$(printf '%s\n' "${peer_times[@]}" | median)
    pk=$(printf '%s\n' "${peer_kib[@]}" | median)
    awk -v l="$label" -v ot="$ot" -v ok="$ok" -v pt="$pt" -v pk="$pk" 'BEGIN {
        printf "%-34s %10.3f %8.1f %10.3f %8.1f %7.2f %7.2f\n", l, ot, ok / 1024, pt, pk / 1024, ot / pt, ok / pk }'
}

# alone LABEL COMMAND...: a run without a peer.
alone() {
    local label=$1 times=() kib=() i result
    shift
    for ((i = 0; i < runs; i++)); do
        result=$(measure "$@")
        times+=("${result% *}") kib+=("${result#* }")
    done
    awk -v l="$label" -v t="$(printf '%s\n' "${times[@]}" | median)" \
        -v k="$(printf '%s\n' "${kib[@]}" | median)" 'BEGIN {
        printf "%-34s %10.3f %8.1f %10s %8s %7s %7s\n", l, t, k / 1024, "-", "-", "-", "-" }'
}

# The board link: vantorix-board plays a KP350; the peer writes the same
# bytes straight into its pseudo-terminal.
"$build/vantorix-board" -m 5 --link "$scratch/board" >/dev/null &
board_pid=$!
for ((i = 0; i < 100; i++)); do
    [[ -e $scratch/board ]] && break
    sleep 0.05
done
board=$(readlink -f "$scratch/board")
printf '#DF 0,0,40\n' >"$scratch/fill.txt"
"$cli" -m 5 --prepare "$pictures/stream.bmp" "$scratch/stream.bin"
pair "--port: one #DF line" "$cli" -m 5 -p "$board" "$scratch/fill.txt" -- \
    --stdout "$board" cat "$scratch/fill.txt"
pair "--port: $(stat -c %s "$scratch/stream.bin")-byte bitmap stream" \
    "$cli" -m 5 -p "$board" "$pictures/stream.bmp" -- --stdout "$board" cat "$scratch/stream.bin"
kill "$board_pid"
wait "$board_pid" 2>/dev/null || true
board_pid=

alone "--window-png --zoom 2, KP350" "$cli" -m 5 --window-png "$scratch/window.png" --zoom 2 \
    examples/hello.txt

out=$scratch/out
for kind in rgb rgba palette adam7 rgb16; do
    pair "PNG $kind 4000x3000 vs libpng" "$cli" --decode "$pictures/$kind.png" "$out.bmp" -- \
        "$tools/bench_peer_png" "$pictures/$kind.png" "$out.raw"
done
pair "GIF 100x 480x320 vs DGifSlurp" "$cli" --decode "$pictures/anim.gif" "$out.bmp" -- \
    "$tools/bench_peer_gif" "$pictures/anim.gif" "$out.raw"
for kind in baseline progressive; do
    pair "JPEG $kind 4000x3000 vs djpeg" "$cli" --decode "$pictures/$kind.jpg" "$out.bmp" -- \
        djpeg -bmp -outfile "$out.raw" "$pictures/$kind.jpg"
done
pair "BMP 24-bit 4000x3000 vs stb_image" "$cli" --decode "$pictures/photo.bmp" "$out.bmp" -- \
    "$tools/bench_peer_bmp" "$pictures/photo.bmp" "$out.raw"

mkdir "$scratch/watch"
read -r watch_median watch_max < <("$tools/bench_watchlatency" "$cli" "$scratch/watch" 20)
printf '%-34s %10.3f %8s %10s %8s %7s %7s   (largest %.3f s)\n' \
    "--watch: save to PNG rename, 20x" "$watch_median" "-" "-" "-" "-" "-" "$watch_max"
