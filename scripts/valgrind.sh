#!/usr/bin/env bash
# Runs a program under valgrind's memcheck and fails on any memory error or
# definitely lost block:
#
#   scripts/valgrind.sh PROGRAM [ARGS...]
#   scripts/valgrind.sh --demo BUILD_DIR    the demo's kvo run (scripts/demo.sh)
set -euo pipefail

memcheck=(valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite
          --show-leak-kinds=definite --num-callers=30 --quiet)

if [ "${1:-}" = "--demo" ]; then
  build=${2:?usage: valgrind.sh --demo BUILD_DIR}
  root=$(cd "$(dirname "$0")/.." && pwd)
  cd "$root"
  KVO_DEMO_WRAPPER="${memcheck[*]}" exec bash scripts/demo.sh "$build"
fi

[ $# -ge 1 ] || { echo "usage: valgrind.sh PROGRAM [ARGS...] | --demo BUILD_DIR" >&2; exit 2; }
exec "${memcheck[@]}" "$@"
