#!/usr/bin/env bash
# Runs every test of the project (after scripts/setup.sh has built it).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BRINDLE_BUILD_DIR:-build}"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
# The web panel in headless Chromium (brindle serve on 127.0.0.1, checked with exiftool).
(cd tests/browser && BRINDLE_BUILD_DIR="$build_dir" node --test)
