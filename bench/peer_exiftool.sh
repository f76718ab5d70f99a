#!/usr/bin/env bash
# Files per second of `brindle packages --json` against `exiftool -json` on the same 2000
# JPEG files (one package of 40 fields, 3 history entries each), one run of each.
#   bench/peer_exiftool.sh [BUILD_DIR]     (default: build-xbench beside this folder)
set -euo pipefail

default_build=build-xbench
source "$(dirname "$0")/peer_common.sh"
cat "${files[@]}" >/dev/null # both sides start from the page cache

tb=$(timed "$work/brindle.json" "$brindle" --home "$work/home" packages --json "${files[@]}")
te=$(timed "$work/exiftool.json" exiftool -json "${files[@]}")

# Every file must have given its package (brindle) or its record (exiftool).
nb=$(grep -o '"file"' "$work/brindle.json" | wc -l)
ne=$(grep -o '"SourceFile"' "$work/exiftool.json" | wc -l)
nerr=$(grep -o '"error"' "$work/brindle.json" | wc -l || true)

awk -v n="$n" -v tb="$tb" -v te="$te" -v nb="$nb" -v ne="$ne" -v nerr="$nerr" 'BEGIN {
    printf "files: %d (brindle reported %d, %d errors; exiftool reported %d)\n", n, nb, nerr, ne
    printf "brindle packages --json  %8.3f s  %9.1f files/s\n", tb, n / tb
    printf "exiftool -json           %8.3f s  %9.1f files/s\n", te, n / te
    printf "ratio (brindle rate / exiftool rate): %.1f (goal: at least 10)\n", te / tb
}'
