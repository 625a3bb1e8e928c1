#!/usr/bin/env bash
# Formats each man page (plain or gzipped) as man and lintian do and fails on
# any warning: man --warnings, and groff with all warnings on.
# Usage: check-man-pages.sh PAGE...
set -euo pipefail
status=0
for page in "$@"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null || true)
  warnings+=$(zcat -f "$page" | groff -ww -man -z 2>&1 || true)
  if [ -n "$warnings" ]; then
    printf '%s:\n%s\n' "$page" "$warnings" >&2
    status=1
  fi
done
exit $status
