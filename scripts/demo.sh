#!/usr/bin/env bash
# Runs kvo prepare on the bundled sample data: a weight, one group per
# country, a 70/30 random partition, the readable report and the HTML
# report with its charts. Then the
# train-then-apply workflow: a training run's codes applied to new data
# (a shuffled third of the sample, with a value the training run never
# saw), both written as NumPy .npy files. Everything goes to BUILD_DIR/demo.
set -euo pipefail
build_dir=${1:-build}
kvo="$build_dir/tools/kvo"
if [ ! -x "$kvo" ]; then
  echo "demo: $kvo is not built (run 'make build')" >&2
  exit 1
fi
demo="$build_dir/demo"
mkdir -p "$demo"
# A wrapper command (scripts/valgrind.sh sets one) runs in front of kvo.
run() {
  echo "\$ $*"
  echo
  ${KVO_DEMO_WRAPPER:-} "$@"
  echo
}

run "$kvo" prepare data/sample/sample.csv \
  --cat gender,occupation,education,defaulted --cont age,income,tenure_months \
  --weight weight --split-by country --partition 70,30 --depend defaulted \
  --out "$demo/report" --report "$demo/report.html"
echo "Record files and summary.json are in $demo/report/."
echo "The HTML report is $demo/report.html (open it in a browser)."
[ -n "${KVO_DEMO_WRAPPER:-}" ] && exit 0

echo
echo "--- Train, then apply the training codes to new data ---"
echo
new="$demo/new.csv"
# Every third case, last first, and one occupation the training run never saw.
{
  head -n 1 data/sample/sample.csv
  tail -n +2 data/sample/sample.csv | awk 'NR % 3 == 0' | tac |
    awk -F, -v OFS=, 'NR == 5 { $5 = "astronaut" } { print }'
} >"$new"
run "$kvo" prepare data/sample/sample.csv --cat gender,occupation --cont age,income \
  --partition 70,30 --format npy --out "$demo/train" --json --quiet >/dev/null
echo "(the summary went to $demo/train/summary.json)"
run "$kvo" prepare "$new" --schema data/sample/sample.schema.json --cat gender,occupation --cont age,income \
  --codes-from "$demo/train/summary.json" --format npy --out "$demo/apply" --quiet
if /usr/bin/python3 -c "import numpy" 2>/dev/null; then
  /usr/bin/python3 - "$demo" <<'PY'
import json, sys, numpy
demo = sys.argv[1]
train = numpy.load(f"{demo}/train/all/training.npy")
apply = numpy.load(f"{demo}/apply/all/records.npy")
print("numpy.load:", f"training {train.shape}", f"new data {apply.shape}")
codes = json.load(open(f"{demo}/apply/summary.json"))["splits"][0]["variables"][1]
print("occupation codes:", {c["value"]: c["code"] for c in codes["categories"]}, "unseen:", codes["unseen"])
PY
else
  echo "(NumPy is not installed here: 'numpy.load' would read $demo/train/all/training.npy)"
fi
