#!/usr/bin/env bash
# Runs kvo on every hostile input of MANIFEST and checks the outcome:
#
#   run.sh KVO WORK_DIR     run each line, expect its exit code, for exit 1
#                           or 2 a one-line message on stderr (naming the
#                           hostile file for exit 1), and an empty TMPDIR
#                           afterwards
#   run.sh --check          only check MANIFEST against the files here: every
#                           hostile file is run at least once, every file
#                           named exists
#
# Prints one line per failure and a summary; exits 1 when anything failed.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
manifest=$here/MANIFEST
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The hostile file of a line: its argument under csv/, schema/, model/ or
# matrix/ (a --matrix argument names it after '=').
hostile_of() {
  local arg
  for arg in "$@"; do
    arg=${arg#*=}
    case $arg in csv/* | schema/* | model/* | matrix/* | codes/*) echo "$arg"; return;; esac
  done
}

if [ "${1:-}" = "--check" ]; then
  declare -A used=()
  while read -r expected args; do
    case $expected in '' | '#'*) continue;; esac
    read -r -a words <<<"$args"
    [[ $expected =~ ^[0-9]+$ ]] || fail "not an exit code: $expected $args"
    for word in "${words[@]}"; do
      word=${word#*=}
      case $word in
        base/* | csv/* | schema/* | model/* | matrix/* | codes/*)
          [ -f "$here/$word" ] || fail "no such file: $word"
          used[$word]=1;;
      esac
    done
  done <"$manifest"
  for dir in csv schema model matrix codes; do
    for file in "$here/$dir"/*; do
      [ -n "${used[${file#$here/}]:-}" ] || fail "not in MANIFEST: ${file#$here/}"
    done
  done
  echo "${#used[@]} files named in MANIFEST; $failures failures"
  [ "$failures" -eq 0 ]
  exit
fi

kvo=${1:?usage: run.sh KVO WORK_DIR | run.sh --check}
work=${2:?usage: run.sh KVO WORK_DIR | run.sh --check}
mkdir -p "$work"
runs=0
while read -r expected args; do
  case $expected in '' | '#'*) continue;; esac
  read -r -a words <<<"$args"
  # Files of this directory by their full path.
  command=()
  for word in "${words[@]}"; do
    prefix=""
    path=$word
    if [[ $word == *=* ]]; then
      prefix=${word%%=*}=
      path=${word#*=}
    fi
    if [ -e "$here/$path" ]; then command+=("$prefix$here/$path"); else command+=("$word"); fi
  done
  hostile=$(hostile_of "${words[@]}")
  tmp=$(mktemp -d "$work/tmp.XXXXXX")
  TMPDIR=$tmp timeout 120 "$kvo" "${command[@]}" >"$work/stdout" 2>"$work/stderr"
  status=$?
  runs=$((runs + 1))
  line="kvo $args"
  if [ "$status" -ne "$expected" ]; then
    fail "$line: exit $status, expected $expected: $(head -c 300 "$work/stderr")"
  fi
  if [ "$expected" -eq 1 ] || [ "$expected" -eq 2 ]; then
    lines=$(grep -c '' "$work/stderr")
    if [ "$lines" -ne 1 ]; then
      fail "$line: $lines lines on stderr, expected one: $(head -c 300 "$work/stderr")"
    fi
    if [ "$expected" -eq 1 ] && [ -n "$hostile" ] && ! grep -qF "$(basename "$hostile")" "$work/stderr"; then
      fail "$line: the message does not name $(basename "$hostile"): $(head -c 300 "$work/stderr")"
    fi
  fi
  if [ -n "$(ls -A "$tmp")" ]; then
    fail "$line: left in TMPDIR: $(ls -A "$tmp" | head -5 | tr '\n' ' ')"
  fi
  rm -rf "$tmp"
done <"$manifest"
echo "$runs runs; $failures failures"
[ "$failures" -eq 0 ]
