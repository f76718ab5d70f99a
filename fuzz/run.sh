#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time.
#   FUZZ_SECONDS   seconds per target (60)
#   FUZZ_BUILD_DIR build folder (../build-fuzz beside this folder)
#   FUZZ_TIMEOUT   seconds one input may take before it counts as a hang (10)
#   FUZZ_TARGETS   the targets to run, separated by blanks (all)
# New inputs go to <build>/corpus/<target>, findings to <build>/artifacts/<target>/; the
# seeds in corpus/<target> are only read. Exits non-zero when a target found something.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${FUZZ_BUILD_DIR:-$here/../build-fuzz}
seconds=${FUZZ_SECONDS:-60}
timeout=${FUZZ_TIMEOUT:-10}

if ! command -v clang++ >/dev/null 2>&1; then
    echo "clang++ not found: fuzz targets not built" >&2
    exit 0
fi

CXX=clang++ cmake -S "$here" -B "$build" -G Ninja >/dev/null
ninja -C "$build"

status=0
all="fuzz_evaluate_tags fuzz_is_invalid_date fuzz_package_file fuzz_settings fuzz_defaults_file
     fuzz_simple_dom fuzz_xmp_packet fuzz_jpeg_segments"
# FUZZ_TARGETS picks some of them (names separated by blanks).
for target in ${FUZZ_TARGETS:-$all}; do
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target
    mkdir -p "$corpus" "$artifacts"
    # Whole files (package definitions, packets, JPEGs) need room; text parsers do not.
    case $target in
        fuzz_package_file | fuzz_xmp_packet | fuzz_jpeg_segments | fuzz_defaults_file) max_len=32768 ;;
        *) max_len=4096 ;;
    esac
    args=(-max_total_time="$seconds" -max_len="$max_len" -timeout="$timeout" -rss_limit_mb=1024
          -print_final_stats=1 -artifact_prefix="$artifacts/")
    dict=$here/${target#fuzz_}.dict
    [[ -f $dict ]] && args+=(-dict="$dict")
    echo "== $target for ${seconds}s"
    if ! "$build/$target" "${args[@]}" "$corpus" "$here/corpus/$target"; then
        echo "$target: finding in $artifacts" >&2
        status=1
    fi
done
exit $status
