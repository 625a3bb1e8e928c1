#!/usr/bin/env bash
# Checks every #include "..." in src/ against the floor order of
# src/floors.txt: a file may include its own folder and the floors below it;
# a floor never includes a program, and no program includes another one.
# Includes without a folder (generated data headers, a program's own
# resource header) are not checked.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root/src"

declare -A rank kind
n=0
while read -r what name; do
    case "$what" in
    floor | program)
        n=$((n + 1))
        rank[$name]=$n
        kind[$name]=$what
        ;;
    esac
done <floors.txt

bad=0
complain() {
    echo "$1" >&2
    bad=1
}
while IFS= read -r file; do
    from="${file%%/*}"
    if [[ -z "${rank[$from]:-}" ]]; then
        complain "$file: folder $from is not listed in src/floors.txt"
        continue
    fi
    while IFS= read -r included; do
        [[ "$included" == */* ]] || continue
        to="${included%%/*}"
        if [[ -z "${rank[$to]:-}" ]]; then
            complain "$file: includes $included from a folder not listed in src/floors.txt"
        elif [[ "$to" == "$from" ]]; then
            continue
        elif [[ "${kind[$to]}" == program ]]; then
            complain "$file: includes $included from the program folder $to"
        elif ((rank[$to] > rank[$from])); then
            complain "$file: includes $included from $to, a floor above $from"
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find . -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' -o -name '*.rc' \) | sed 's|^\./||' | sort)

if ((bad)); then
    echo "check-layers: includes against the floor order (src/floors.txt)" >&2
    exit 1
fi
echo "check-layers: every include in src/ keeps to the floor order"
