#!/usr/bin/env bash
# One shell session of 1,000 requests (open, 7 sets, save and close of each of 100 JPEGs)
# against the same edits as 100 one-shot `set` commands (each opens, sets the 7 fields,
# saves and closes one file). Usage: bench/shell_steps.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home="$work/home"
brindle="$(pwd)/$build/app/brindle"
"$brindle" --home "$home" library import samples/library/Editorial_ID.xml >/dev/null
mkdir -p "$work/a" "$work/b"
for i in $(seq -w 1 100); do
  cp tests/data/xmp-files/BlueSquare.jpg "$work/a/$i.jpg"
done
"$brindle" --home "$home" apply -q "$work"/a/*.jpg Editorial >/dev/null
cp "$work"/a/*.jpg "$work/b/"
fields=(Headline=H Author=A "Issue\ number=7" Section=News Kicker=K Abstract=X Words=900)
script="$work/day.brindle"
: >"$script"
for f in "$work"/a/*.jpg; do
  echo "open $f" >>"$script"
  for kv in "${fields[@]}"; do echo "set --force $kv" >>"$script"; done
  echo "save" >>"$script"
  echo "close --no-cancel" >>"$script"
done
echo "requests in the script: $(grep -c . "$script")"
oneshots="$work/oneshots.sh"
: >"$oneshots"
for f in "$work"/b/*.jpg; do
  args=""
  for kv in "${fields[@]}"; do args="$args -s $kv"; done
  echo "$brindle --home $home set --force -q $f $args >/dev/null" >>"$oneshots"
done
hyperfine -w 1 -r 5 \
  "$brindle --home $home shell --script $script >/dev/null" \
  "bash $oneshots"
