#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# With --bench, also the peers of the benchmark comparisons (pandas, NumPy;
# Node.js with Polars and DuckDB from bench/node's lock file), which the build
# and the test suite do not need.
set -euo pipefail

packages=(
  cmake ninja-build g++ make python3
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libpugixml-dev libfmt-dev libcli11-dev
  # gzip-compressed data files
  zlib1g-dev
  # The fuzz build (clang with libFuzzer's runtime) and the memcheck test.
  clang libclang-rt-14-dev valgrind
  # make format-check
  clang-format
  # make docs and the test ApiReference
  doxygen
  # The report's test opens the page in a headless browser.
  chromium
)
bench=false
if [ "${1:-}" = "--bench" ]; then
  bench=true
  packages+=(python3-pandas python3-numpy nodejs)
fi
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# The Node.js packages of the benchmark peers, exactly as locked, when they
# are not installed yet.
install_node_peers() {
  if [ "$bench" = true ] && [ ! -d "$here/../bench/node/node_modules" ]; then
    # Some builds of nodejs bring npm along; Debian's own packs it apart.
    if ! command -v npm > /dev/null; then
      $SUDO apt-get install -y -qq --no-install-recommends npm
    fi
    echo "Installing the benchmark peers' Node.js packages (bench/node)"
    (cd "$here/../bench/node" && npm ci --no-audit --no-fund)
  fi
}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  install_node_peers
  exit 0
fi

echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
install_node_peers
