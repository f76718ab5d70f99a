#!/usr/bin/env bash
# Files per second of `brindle packages --json` against `exiftool -json` on the same 2000
# JPEG files (one package of 40 fields, 3 history entries each), one run of each.
#   bench/peer_exiftool.sh [BUILD_DIR]     (default: build-xbench beside this folder)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-xbench}
brindle=$build/app/brindle
maker=$build/bench/bench_document_xmp
for exe in "$brindle" "$maker"; do
    [[ -x $exe ]] || { echo "missing $exe (build first)" >&2; exit 1; }
done
command -v exiftool >/dev/null || { echo "exiftool not installed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-peer-XXXXXX")
trap 'rm -rf "$work"' EXIT
"$maker" --make-jpegs "$work/jpegs"
files=("$work"/jpegs/*.jpg)
n=${#files[@]}
cat "${files[@]}" >/dev/null # both sides start from the page cache

# Seconds taken by the command, its output kept for a check.
timed() {
    local out=$1
    shift
    local t0=$EPOCHREALTIME
    "$@" >"$out" 2>"$out.err" || true
    local t1=$EPOCHREALTIME
    echo "$t0 $t1" | awk '{ printf "%.3f", $2 - $1 }'
}

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
