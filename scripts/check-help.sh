#!/usr/bin/env bash
# Checks the built help file: every page of the help project is inside it
# unchanged, the start topic is there, and every page the table of contents
# and the pages link to exists.
# Usage: check-help.sh Vantorix.chm
set -euo pipefail
chm=$(realpath "$1")
sources="$(cd "$(dirname "$0")/.." && pwd)/docs/help"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
extract_chmLib "$chm" "$out" >/dev/null
[ -f "$out/START.htm" ] || { echo "help: START.htm missing in $chm"; exit 1; }
pages=$(sed -n '/^\[FILES\]/,/^\[/p' "$sources/Vantorix.hhp" | grep -v '^\[' | tr -d '\r')
for page in $pages; do
  cmp -s "$sources/$page" "$out/$page" || { echo "help: $page differs or is missing"; exit 1; }
done
links=$(grep -ohE '(value|href)="[A-Za-z0-9_-]+\.htm"' "$sources"/*.hh[ck] "$sources"/*.htm |
  sed -E 's/.*"(.*)"/\1/' | sort -u)
for link in $links; do
  [ -f "$out/$link" ] || { echo "help: link to $link, which is not in the help file"; exit 1; }
done
echo "Vantorix.chm holds $(echo "$pages" | wc -w) files; all $(echo "$links" | wc -w) linked pages are there."
