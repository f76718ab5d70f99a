#!/usr/bin/env bash
# The main job on the bundled samples: import the sample library into a fresh home,
# list it, show one package, export it and read the settings; then, on copies of the
# sample documents, read their packages, fill a field, check, apply and upgrade.
set -euo pipefail
cd "$(dirname "$0")/.."
brindle="$(pwd)/${BRINDLE_BUILD_DIR:-build}/app/brindle"
home=$(mktemp -d)
out=$(mktemp -d)
plugin=$(mktemp -d)
trap 'rm -rf "$home" "$out" "$plugin"' EXIT
# The plug-in folder: the module beside the sample defaults file.
cp samples/plugin/* "$plugin/"
ln -s "$(dirname "$brindle")/Brindle.pln" "$plugin/Brindle.pln"

run() {
    echo "\$ brindle $*"
    local rc=0
    "$brindle" --home "$home" --plugin-dir "$plugin" "$@" || rc=$?
    echo
    return $rc
}

run library import samples/library/*.xml
run library list
run library show Editorial
run library list --json
(cd "$out" && "$brindle" --home "$home" library export "Photo Rights" && ls -l "$out")
echo
run tags Editorial
run eval Editorial 'Story <cvbrindle:StoryID/> of <cvbrindle:package/> v<cvbrindle:version/>, issue <cvbrindle:IssueNo format="%03d"/>'
run deadline-colour Editorial "$(date -d tomorrow +%Y/%m/%d)" ""
run settings

docs="$out/documents"
mkdir -p "$docs"
cp samples/documents/*-BlueSquare.* "$docs"/
run packages "$docs/Editorial-BlueSquare.jpg" "$docs/Plain-BlueSquare.jpg"
run key "$docs/Editorial-BlueSquare.jpg"
run xml "$docs/Editorial-BlueSquare.png"
run expand "$docs/Editorial-BlueSquare.jpg" '<cvbrindle:Headline/> (<cvbrindle:package/> v<cvbrindle:version/>)'
# Workflow state is read-only in the panel: a script sets it with --force.
run set --force "$docs/Editorial-BlueSquare.jpg" -s "Workflow state=edited" -s "Word count=1350"
run check "$docs/Editorial-BlueSquare.jpg" "$docs/Editorial-BlueSquare.png" "$docs/Editorial-BlueSquare.pdf"
run apply "$docs/Plain-BlueSquare.jpg" Editorial
# The applied package's required fields are still empty: check says so with exit code 3.
run check "$docs/Plain-BlueSquare.jpg" || echo "(exit code $?)"
run upgrade "$docs/Editorial-BlueSquare.png"
echo "\$ brindle dump-xmp $docs/Editorial-BlueSquare.jpg   (the first 20 lines)"
"$brindle" --home "$home" dump-xmp "$docs/Editorial-BlueSquare.jpg" >"$out/packet.xml"
head -n 20 "$out/packet.xml"
