#!/usr/bin/env bash
# Builds the API reference of the library's public headers with Doxygen
# (docs/Doxyfile) into OUT_DIR/html, and fails when Doxygen warns about
# anything: an undocumented class or member, a broken comment command.
#
#   scripts/api-reference.sh OUT_DIR      (DOXYGEN=/path/to/doxygen to choose one)
set -euo pipefail

out="${1:?usage: api-reference.sh OUT_DIR}"
doxygen="${DOXYGEN:-doxygen}"
root="$(cd "$(dirname "$0")/.." && pwd)"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
log="$out/warnings.log"
rm -rf "$out/html" "$log"

version="$(sed -n 's/^project(kvoadapter VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
cd "$root"
if ! { cat docs/Doxyfile
       echo "PROJECT_NUMBER = \"$version\""
       echo "OUTPUT_DIRECTORY = \"$out\""
       echo "WARN_LOGFILE = \"$log\""; } | "$doxygen" - > "$out/doxygen.out" 2>&1; then
  cat "$out/doxygen.out" >&2
  echo "api-reference: doxygen failed" >&2
  exit 1
fi
if [ -s "$log" ]; then
  cat "$log" >&2
  echo "api-reference: $(wc -l < "$log") Doxygen warnings (see above)" >&2
  exit 1
fi
if [ ! -f "$out/html/index.html" ]; then
  echo "api-reference: no $out/html/index.html" >&2
  exit 1
fi
echo "API reference: $out/html/index.html"
