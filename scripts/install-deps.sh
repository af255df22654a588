#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# With --bench, also the peers of the benchmark comparisons (pandas, NumPy),
# which the build and the test suite do not need.
set -euo pipefail

packages=(
  cmake ninja-build g++ make python3
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libpugixml-dev libfmt-dev libcli11-dev
  # The fuzz build (clang with libFuzzer's runtime) and the memcheck test.
  clang libclang-rt-14-dev valgrind
  # make format-check
  clang-format
  # The report's test opens the page in a headless browser.
  chromium
)
if [ "${1:-}" = "--bench" ]; then
  packages+=(python3-pandas python3-numpy)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
