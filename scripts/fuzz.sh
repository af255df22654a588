#!/usr/bin/env bash
# Runs the fuzzers of a fuzz build (see tests/fuzz/CMakeLists.txt), each for
# SECONDS seconds, FUZZ_JOBS (default 2) at a time:
#
#   scripts/fuzz.sh BUILD_DIR SECONDS [NAME...]     (default: every fuzzer)
#
# Each fuzzer reads the checked-in seeds of tests/fuzz/NAME/ (never written)
# and a working corpus BUILD_DIR/fuzz/corpus/NAME/ that keeps what it learns
# from one run to the next. An input that makes a fuzzer fail is written to
# BUILD_DIR/fuzz/crashes/NAME/ and fails the run: copy it into
# tests/fuzz/NAME/ once fixed, where the ctest test FuzzReplay_NAME runs it
# in every build. Logs go to BUILD_DIR/fuzz/logs/NAME.log.
set -euo pipefail

build=${1:?usage: fuzz.sh BUILD_DIR SECONDS [NAME...]}
seconds=${2:?usage: fuzz.sh BUILD_DIR SECONDS [NAME...]}
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
jobs=${FUZZ_JOBS:-2}

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for program in "$build"/tests/fuzz/fuzz_*; do
    [ -x "$program" ] && names+=("${program##*/fuzz_}")
  done
fi
if [ ${#names[@]} -eq 0 ]; then
  echo "fuzz.sh: no fuzzers in $build/tests/fuzz (build the target 'fuzzers' first)" >&2
  exit 2
fi

run_one() {
  local name=$1
  local work=$build/fuzz
  local program=$build/tests/fuzz/fuzz_$name
  local tmp=$work/tmp/$name
  mkdir -p "$work/corpus/$name" "$work/crashes/$name" "$work/logs" "$tmp"
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
                 -artifact_prefix="$work/crashes/$name/")
  [ -f "$root/tests/fuzz/$name.dict" ] && options+=(-dict="$root/tests/fuzz/$name.dict")
  local status=0
  TMPDIR=$tmp \
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$program" "${options[@]}" "$work/corpus/$name" "$root/tests/fuzz/$name" \
    >"$work/logs/$name.log" 2>&1 || status=$?
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/logs/$name.log" | grep -o '[0-9]*$' || true)
  if [ "$status" -ne 0 ]; then
    echo "fuzz $name: FAILED (exit $status); see $work/logs/$name.log and $work/crashes/$name/"
    tail -n 40 "$work/logs/$name.log"
    return 1
  fi
  if [ -n "$(ls -A "$tmp")" ]; then
    echo "fuzz $name: FAILED: files left in $tmp"
    return 1
  fi
  echo "fuzz $name: ok, ${runs:-?} inputs in ${seconds}s"
}
export -f run_one
export build root seconds

printf '%s\n' "${names[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$1"' _ {}
