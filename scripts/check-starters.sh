#!/usr/bin/env bash
# Checks every starter module file (KP280_90.txt and so on) with the runner's
# --check for its own model and orientation: each must run without findings.
# Usage: check-starters.sh VANTORIX-CLI STARTER-DIR
set -euo pipefail
cli=$1 folder=$2
count=0
for file in "$folder"/*.txt; do
  name=$(basename "$file" .txt)
  "$cli" --check -m "${name%_*}" -a "${name#*_}" "$file"
  count=$((count + 1))
done
[ "$count" = 24 ] || { echo "$count starter files, not 24 (6 models x 4 orientations)" >&2; exit 1; }
