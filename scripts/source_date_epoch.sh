#!/usr/bin/env bash
# Prints the time that a reproducible build stamps on what it makes (the About box's build
# date, the files of the package), in seconds since 1970: SOURCE_DATE_EPOCH when it is set,
# else the time of the last commit, else (sources without git) the date of the changelog's
# last entry.
# Usage: scripts/source_date_epoch.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    echo "$SOURCE_DATE_EPOCH"
elif git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$root" log -1 --format=%ct
else
    date -d "$(sed -n 's/^ -- .*>  //p' "$root/packaging/changelog" | head -n 1)" +%s
fi
