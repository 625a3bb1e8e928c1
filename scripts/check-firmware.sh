#!/usr/bin/env bash
# The board's firmware in the RP2040 emulator (rp2040js, pinned in
# tests/firmware/package-lock.json) and the Pico 2 image checked with picotool.
# Usage: check-firmware.sh BUILD_DIR [--quick]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
shift
version="$(head -n1 "$root/firmware/VERSION")"
pico="$build/firmware/vantorix_Pico_V$version.uf2"
pico2="$build/firmware/vantorix_Pico2_V$version.uf2"
if [[ ! -f "$pico" || ! -f "$pico2" ]]; then
    echo "check-firmware: no firmware in $build/firmware (is arm-none-eabi-gcc installed?)" >&2
    exit 1
fi
sdk=""
for candidate in "$root/../shared/sdk" "$root/../../shared/sdk" /work/shared/sdk; do
    [[ -z "$sdk" && -f "$candidate/rp2040-bootrom-b1.bin" ]] && sdk="$(cd "$candidate" && pwd)"
done
[[ -n "$sdk" ]] || { echo "check-firmware: no RP2040 boot ROM (shared/sdk/rp2040-bootrom-b1.bin)" >&2; exit 1; }

# The Pico 2 image cannot be emulated: picotool reads what it holds.
info="$("$build/picotool-install/picotool/picotool" info -a "$pico2")"
grep -q "rp2350" <<<"$info" || { echo "$info"; echo "check-firmware: $pico2 is not an RP2350 image" >&2; exit 1; }
grep -q "version:.*$version" <<<"$info" || { echo "$info"; echo "check-firmware: $pico2 does not say V$version" >&2; exit 1; }
# Its USB device descriptor: vendor 2E8A, product 000A (the SDK's RP2350 default is 0009).
od -An -tx1 -v "$pico2" | tr -d ' \n' | grep -Eq '1201[0-9a-f]{4}ef0201[0-9a-f]{2}8a2e0a00' ||
    { echo "check-firmware: $pico2 holds no device descriptor for 2E8A:000A" >&2; exit 1; }
grep -q "family ID 'rp2350-arm-s'" <<<"$info" || { echo "$info"; echo "check-firmware: $pico2 has another family" >&2; exit 1; }
start=$(sed -n 's/^ *binary start: *//p' <<<"$info" | head -n1)
end=$(sed -n 's/^ *binary end: *//p' <<<"$info" | head -n1)
echo "ok   $(basename "$pico2"): family rp2350-arm-s, version $version, $(((end - start) / 1024)) KiB"

checks="$build/firmware-checks"
mkdir -p "$checks"
cp "$root"/tests/firmware/package.json "$root"/tests/firmware/package-lock.json "$root"/tests/firmware/*.mjs "$checks/"
(cd "$checks" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
# Two emulators side by side, each with half of the models.
run() {
    node "$checks/run.mjs" --uf2 "$pico" --bootrom "$sdk/rp2040-bootrom-b1.bin" --cli "$build/vantorix-cli" \
        --source "$root" --work "$checks/work-$1" --models "$2" "${@:3}"
}
if [[ "${1:-}" == --quick ]]; then
    run quick 3 --quick
    exit
fi
run a 1,2,5 --bench >"$checks/a.log" 2>&1 &
first=$!
status=0
run b 3,4,6 --no-link-checks >"$checks/b.log" 2>&1 || status=1
wait "$first" || status=1
grep -hv '^ok' "$checks/a.log" "$checks/b.log" || true
echo "$(cat "$checks/a.log" "$checks/b.log" | grep -c '^ok') firmware checks passed in the emulator"
exit "$status"
