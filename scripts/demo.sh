#!/usr/bin/env bash
# Runs the demo on the bundled sample data.
set -euo pipefail
build_dir=${1:-build}
echo "The demo program is not built yet." >&2
exit 1
