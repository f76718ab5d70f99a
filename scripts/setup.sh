#!/usr/bin/env bash
# Installs what the build, the tests and the benchmarks need (Debian packages) and builds.
# Quick when everything is already there.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config
  libexpat1-dev libexempi-dev libqpdf-dev qpdf libzip-dev zlib1g-dev libssl-dev libutfcpp-dev libcli11-dev nlohmann-json3-dev libedit-dev libmd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libimage-exiftool-perl python3
  clang libclang-rt-14-dev
  tzdata hyperfine exempi
  help2man parallel bash-completion python3-yaml
  libcpp-httplib-dev chromium
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -q
  $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The web panel's browser tests: Node with npm (Debian's, unless one is there already) and
# playwright-core from the lock file, driving the system's Chromium; nothing downloads a
# browser of its own.
if ! command -v npm >/dev/null 2>&1; then
  echo "setup: installing nodejs npm"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -q
  $sudo_cmd apt-get install -y -q --no-install-recommends nodejs npm
fi
if ! cmp -s tests/browser/package-lock.json tests/browser/node_modules/.installed-lock.json 2>/dev/null; then
  (cd tests/browser && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error &&
    cp package-lock.json node_modules/.installed-lock.json)
fi

build_dir="${BRINDLE_BUILD_DIR:-build}"
if [ ! -f "$build_dir/build.ninja" ]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build_dir" -j "$(nproc)"

# The fuzz targets (libFuzzer, clang); fuzz/run.sh runs them for a bounded time.
fuzz_dir="${BRINDLE_FUZZ_BUILD_DIR:-build-fuzz}"
if command -v clang++ >/dev/null 2>&1; then
  if [ ! -f "$fuzz_dir/build.ninja" ]; then
    CXX=clang++ cmake -S fuzz -B "$fuzz_dir" -G Ninja >/dev/null
  fi
  cmake --build "$fuzz_dir" -j "$(nproc)"
fi
