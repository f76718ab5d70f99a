#!/usr/bin/env bash
# One-shot latency: brindle (plug-in module loaded, lifecycle running) beside brindle_linked
# (plug-in linked in) and a bare exempi safe-update of one value, in one hyperfine run each.
# Usage: bench/oneshot_latency.sh [build folder]
# With BRINDLE_BEFORE=FOLDER (a copy of an earlier build's app/brindle, Brindle.pln and
# brindle-commands.so) that program's `set` runs in the same hyperfine run, for a before/after.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home="$work/home"
module="$(pwd)/$build/app/brindle"
linked="$(pwd)/$build/bench/brindle_linked"
"$module" --home "$home" library import samples/library/*.xml >/dev/null
cp tests/data/xmp-files/BlueSquare.jpg "$work/one.jpg"
"$module" --home "$home" apply "$work/one.jpg" Editorial >/dev/null
# Every timed set writes into a fresh copy of the same document: the field's history would
# otherwise grow by one entry a run, and so would the packet every program reads and writes.
cp "$work/one.jpg" "$work/fresh.jpg"
# The linked program finds no module to load; it takes its defaults from the program's folder.
hyperfine -N -w 5 -r 60 \
  "$module --home $home packages $work/one.jpg" \
  "$linked --home $home packages $work/one.jpg"
before=()
if [ -n "${BRINDLE_BEFORE:-}" ]; then
  before=("$BRINDLE_BEFORE/brindle --home $home set $work/one.jpg Headline=Value")
fi
hyperfine -N -w 5 -r 60 --prepare "cp $work/fresh.jpg $work/one.jpg" \
  "$module --home $home set $work/one.jpg Headline=Value" \
  "$linked --home $home set $work/one.jpg Headline=Value" \
  "${before[@]}" \
  "exempi -w -s xmp:Label -v Value $work/one.jpg"
