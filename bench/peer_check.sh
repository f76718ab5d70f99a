#!/usr/bin/env bash
# Files per second of `brindle check --json` (the required-field pass over all the files as
# one list, nothing saved) against `exiftool -json` reading the same 2000 JPEG files (one
# package of 40 fields, 3 history entries each), one run of each, single process.
#   bench/peer_check.sh [BUILD_DIR]     (default: build-xbench beside this folder)
set -euo pipefail

default_build=build-xbench
source "$(dirname "$0")/peer_common.sh"
sum_before=$(cat "${files[@]}" | md5sum) # also brings every file into the page cache

load=$(uptime | sed 's/.*load average: //')
tb=$(timed "$work/brindle.json" "$brindle" --home "$work/home" check --json "${files[@]}")
rcb=$(cat "$work/rc")
te=$(timed "$work/exiftool.json" exiftool -json "${files[@]}")

# Every file must have been checked (brindle) or read (exiftool), and check writes nothing.
nb=$(grep -c '"file"' "$work/brindle.json" || true)
ne=$(grep -c '"SourceFile"' "$work/exiftool.json" || true)
nalerts=$(grep -c '^alert: ' "$work/brindle.json.err" || true)
sum_after=$(cat "${files[@]}" | md5sum)
unchanged=$([[ $sum_before == "$sum_after" ]] && echo yes || echo NO)

awk -v n="$n" -v tb="$tb" -v te="$te" -v nb="$nb" -v ne="$ne" -v rcb="$rcb" -v na="$nalerts" \
    -v unchanged="$unchanged" -v load="$load" 'BEGIN {
    printf "files: %d (brindle checked %d, exit %d, %d alerts; exiftool reported %d); files unchanged: %s\n",
        n, nb, rcb, na, ne, unchanged
    printf "load average before the runs: %s\n", load
    printf "brindle check --json     %8.3f s  %9.1f files/s\n", tb, n / tb
    printf "exiftool -json           %8.3f s  %9.1f files/s\n", te, n / te
    printf "ratio (brindle rate / exiftool rate): %.1f (goal: at least 10)\n", te / tb
}'
