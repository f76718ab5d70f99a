#!/usr/bin/env bash
# Runs every test of the project (after scripts/setup.sh has built it).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${BRINDLE_BUILD_DIR:-build}"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
