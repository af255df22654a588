#!/usr/bin/env bash
# Runs a program under valgrind's memcheck and fails on any memory error or
# definitely lost block:
#
#   scripts/valgrind.sh PROGRAM [ARGS...]
#   scripts/valgrind.sh --demo BUILD_DIR KVO
#
# With --demo it checks the demo's run: scripts/demo.sh runs every kvo
# command behind ${KVO_DEMO_WRAPPER:-}, which this sets to the valgrind
# command; a demo script without that hook gets `kvo describe` on the sample
# data instead.
set -euo pipefail

memcheck=(valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite
          --show-leak-kinds=definite --num-callers=30 --quiet)

if [ "${1:-}" = "--demo" ]; then
  build=${2:?usage: valgrind.sh --demo BUILD_DIR KVO}
  kvo=${3:?usage: valgrind.sh --demo BUILD_DIR KVO}
  root=$(cd "$(dirname "$0")/.." && pwd)
  if grep -q 'KVO_DEMO_WRAPPER' "$root/scripts/demo.sh"; then
    KVO_DEMO_WRAPPER="${memcheck[*]}" exec bash "$root/scripts/demo.sh" "$build"
  fi
  exec "${memcheck[@]}" "$kvo" describe "$root/data/sample/sample.csv" --schema "$root/data/sample/sample.schema.json"
fi

[ $# -ge 1 ] || { echo "usage: valgrind.sh PROGRAM [ARGS...] | --demo BUILD_DIR KVO" >&2; exit 2; }
exec "${memcheck[@]}" "$@"
