#!/bin/sh
# Sets one field on every story of the 24-story sample that holds a packet of its own (after
# applying a package to them) and saves, beside `unzip` + `zip` of the same file; peak memory
# of the set, on the sample and on a copy with a large extra entry. One run each.
# Usage: bench/idml_set_stories.sh BUILD_DIR
set -eu
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
brindle="$build/app/brindle"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sample="$root/tests/data/idml/4_story_pointers.idml"
home="$work/home"
"$brindle" --home "$home" library import "$root"/samples/library/*.xml >/dev/null
cp "$sample" "$work/a.idml"; chmod u+w "$work/a.idml"
# The stories with a packet of their own, exported through an assignment of them all.
stories=$(cd "$work" && unzip -Z1 a.idml 'Stories/*' | while read -r e; do
  if unzip -p a.idml "$e" | python3 -c 'import sys,xml.etree.ElementTree as E; s=E.parse(sys.stdin).getroot().find("Story"); sys.exit(0 if s.find("MetadataPacketPreference") is not None else 1)'; then
    basename "$e" .xml | sed 's/Story_//'; fi; done)
echo "stories with their own packet: $(echo "$stories" | wc -l)"
args=""; for s in $stories; do args="$args --story $s"; done
"$brindle" --home "$home" --edition text apply "$work/a.idml" Production $args >/dev/null
cp "$work/a.idml" "$work/b.idml"
t0=$(date +%s.%N)
"$brindle" --home "$home" set "$work/a.idml" 'Job number=42' $args >/dev/null
t1=$(date +%s.%N)
mkdir "$work/x"; (cd "$work/x" && unzip -q ../b.idml && rm ../b.idml && zip -q -X -r ../b.idml mimetype . -x mimetype)
t2=$(date +%s.%N)
echo "brindle set on every story + save: $(echo "$t1 - $t0" | bc) s"
echo "unzip + zip of the same file:      $(echo "$t2 - $t1" | bc) s"
/usr/bin/time -v "$brindle" --home "$home" set "$work/a.idml" 'Job number=43' $args 2>&1 >/dev/null | grep 'Maximum resident'
# A copy with a 200 MB entry (stored, incompressible) that is copied, never read.
head -c 200000000 /dev/urandom > "$work/big.bin"
(cd "$work" && zip -q -0 a.idml big.bin)
/usr/bin/time -v "$brindle" --home "$home" set "$work/a.idml" 'Job number=44' $args 2>&1 >/dev/null | grep 'Maximum resident'
