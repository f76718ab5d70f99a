#!/usr/bin/env bash
# The command at scale, side by side in one run: packages --jsonl against --json over 20,000
# JPEGs, set -j 2 against exiftool on 2,000, and check -r over a tree of 20,000 files.
# Peak memory from /usr/bin/time -v. Files are copies of one sample JPEG in a temporary
# folder, removed at the end. Usage: bench/peer_scale.sh [BUILD-DIR] [READ-COUNT] [WRITE-COUNT]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
reads=${2:-20000}
writes=${3:-2000}
brindle=$build/app/brindle
sample=$root/samples/documents/Editorial-BlueSquare.jpg
[[ -x $brindle ]] || { echo "missing $brindle (build first)" >&2; exit 1; }
command -v exiftool >/dev/null || { echo "exiftool not installed" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time not installed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/brindle-scale-XXXXXX")
trap 'rm -rf "$work"' EXIT
home=$work/home

# A tree of 20 folders; the read and check runs use the same files.
for ((i = 0; i < reads; i++)); do
    d=$work/tree/f$((i % 20))
    [[ -d $d ]] || mkdir -p "$d"
    cp "$sample" "$d/doc$i.jpg"
done
find "$work/tree" -name '*.jpg' | sort >"$work/list"
mkdir -p "$work/ours" "$work/theirs"
for ((i = 0; i < writes; i++)); do
    cp "$sample" "$work/ours/doc$i.jpg"
    cp "$sample" "$work/theirs/doc$i.jpg"
done

# Prints "seconds peak-MB" of the command; its output goes to $work/out.
measure() {
    /usr/bin/time -v -o "$work/time" "$@" >"$work/out" 2>"$work/err" || true
    awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i] }
                /Maximum resident set size/ { kb = $2 }
                END { printf "%.2f %.1f\n", s, kb / 1024 }' "$work/time"
}
report() { # name count seconds mb
    awk -v name="$1" -v n="$2" -v s="$3" -v mb="$4" \
        'BEGIN { printf "%-36s %7d files %8.2f s %9.0f files/s %8.1f MB peak\n", name, n, s, n / s, mb }'
}

read -r s mb < <(measure "$brindle" --home "$home" packages -q --jsonl --files-from "$work/list")
report "packages --jsonl" "$reads" "$s" "$mb"
lines=$(wc -l <"$work/out")
[[ $lines -eq $((reads + 1)) ]] || echo "  (expected $((reads + 1)) lines, got $lines)"
read -r s mb < <(measure "$brindle" --home "$home" packages -q --json --files-from "$work/list")
report "packages --json" "$reads" "$s" "$mb"

read -r s mb < <(measure "$brindle" --home "$home" set -q -j 2 -s 'Headline=Scaled' -r "$work/ours")
report "brindle set -j 2" "$writes" "$s" "$mb"
grep -q "$writes updated" "$work/err" || true
read -r s mb < <(measure exiftool -q -overwrite_original -XMP-dc:Title=Scaled -r "$work/theirs")
report "exiftool -overwrite_original" "$writes" "$s" "$mb"

read -r s mb < <(measure "$brindle" --home "$home" check -q -r "$work/tree")
report "check -r" "$reads" "$s" "$mb"
