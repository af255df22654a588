#!/usr/bin/env bash
# Runs kvo prepare on the bundled sample data: a weight, one group per
# country, a 70/30 random partition, and the readable report. The record
# files and summary.json go to BUILD_DIR/demo.
set -euo pipefail
build_dir=${1:-build}
kvo="$build_dir/tools/kvo"
if [ ! -x "$kvo" ]; then
  echo "demo: $kvo is not built (run 'make build')" >&2
  exit 1
fi
out="$build_dir/demo"
cmd=("$kvo" prepare data/sample/sample.csv
     --cat gender,occupation,education,defaulted --cont age,income,tenure_months
     --weight weight --split-by country --partition 70,30 --depend defaulted
     --out "$out")
echo "\$ ${cmd[*]}"
echo
# A wrapper command (scripts/valgrind.sh sets one) runs in front of kvo.
${KVO_DEMO_WRAPPER:-} "${cmd[@]}"
echo
echo "Record files and summary.json are in $out/."
