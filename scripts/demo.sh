#!/usr/bin/env bash
# The main job on the bundled samples: import the sample library into a fresh home,
# list it, show one package, export it and read the settings.
set -euo pipefail
cd "$(dirname "$0")/.."
brindle="$(pwd)/${BRINDLE_BUILD_DIR:-build}/app/brindle"
home=$(mktemp -d)
out=$(mktemp -d)
trap 'rm -rf "$home" "$out"' EXIT

run() { echo "\$ brindle $*"; "$brindle" --home "$home" --plugin-dir samples/plugin "$@"; echo; }

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
