# Shared by the scripts that time brindle beside exiftool (sourced, not run).
# Sets: brindle, maker, work (removed at exit), files (2000 JPEGs: one package of 40 fields,
# 3 history entries each), n; defines timed. The first argument of the caller is its build
# folder; $default_build is used without one.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/$default_build}
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

# Seconds taken by the command, its output kept for a check; its exit code in $work/rc.
timed() {
    local out=$1
    shift
    local t0=$EPOCHREALTIME rc=0
    "$@" >"$out" 2>"$out.err" || rc=$?
    local t1=$EPOCHREALTIME
    echo "$rc" >"$work/rc"
    echo "$t0 $t1" | awk '{ printf "%.3f", $2 - $1 }'
}
