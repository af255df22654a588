#!/usr/bin/env python3
"""Runs one example program of docs/guide.md and checks what it prints.

The figures for the sample data are worked out here, from the CSV file and
its schema, by the rules the guide states (the weight filter and rounding,
missing and user-missing values, categories in order of first appearance,
soft listwise deletion); the library is not asked. The examples that build
their own data are checked against what that data must give.

    check_example.py NAME BINARY DATA_DIR WORK_DIR
"""
import csv
import json
import math
import os
import re
import subprocess
import sys


class Sample:
    """The sample data set as plain Python values."""

    def __init__(self, directory):
        with open(os.path.join(directory, "sample.schema.json"), encoding="utf-8") as f:
            schema = json.load(f)
        self.fields = {field["name"]: field for field in schema["fields"]}
        self.missing_texts = set(schema.get("missingValues", []))
        with open(os.path.join(directory, "sample.csv"), newline="", encoding="utf-8") as f:
            self.rows = list(csv.DictReader(f))
        for number, row in enumerate(self.rows, start=1):
            row["#"] = number  # the case number: the row's position

    def is_string(self, name):
        return self.fields[name]["type"] == "string"

    def number(self, row, name):
        """A numeric cell's value, None when it is system-missing."""
        text = row[name].strip()
        return None if text in self.missing_texts else float(text)

    def user_missing(self, name, value):
        declared = self.fields[name].get("userMissing", {})
        if value in declared.get("values", []):
            return True
        if "value" in declared and value == declared["value"]:
            return True
        low_high = declared.get("range")
        return low_high is not None and low_high[0] <= value <= low_high[1]

    def valid(self, row, name):
        """Neither system-missing nor user-missing."""
        if self.is_string(name):
            return not self.user_missing(name, row[name].rstrip())
        value = self.number(row, name)
        return value is not None and not self.user_missing(name, value)

    def value(self, row, name):
        return row[name].rstrip() if self.is_string(name) else self.number(row, name)

    def read(self, row):
        """The host's weight filter: a missing, zero or negative weight is never read."""
        w = self.number(row, "weight")
        return w is not None and w > 0

    def rounded_weight(self, row):
        """The weight rounded to whole cases; 0 (and the case rejected) below 0.5."""
        w = self.number(row, "weight")
        return math.floor(w + 0.5) if w is not None and w >= 0.5 else 0

    def groups(self):
        """Rows per country, in file order (the file is sorted by country)."""
        result = {}
        for row in self.rows:
            result.setdefault(row["country"], []).append(row)
        return list(result.values())


class Checks:
    def __init__(self, name):
        self.name = name
        self.failures = []
        self.count = 0

    def equal(self, actual, expected, what):
        self.count += 1
        if actual != expected:
            self.failures.append(f"{what}: got {actual!r}, expected {expected!r}")

    def close(self, actual, expected, what, rel=1e-9, abs_tol=0.0):
        self.count += 1
        if not math.isclose(actual, expected, rel_tol=rel, abs_tol=abs_tol):
            self.failures.append(f"{what}: got {actual!r}, expected {expected!r}")

    def true(self, condition, what):
        self.count += 1
        if not condition:
            self.failures.append(what)

    def finish(self):
        self.count += SEARCHES[0]
        for failure in self.failures:
            print(f"{self.name}: {failure}")
        if self.failures:
            print(f"{self.name}: {len(self.failures)} of {self.count} checks failed")
            return 1
        print(f"{self.name}: all {self.count} checks passed")
        return 0


SEARCHES = [0]  # lines looked for, each a check of its own


def search(pattern, text, what):
    SEARCHES[0] += 1
    match = re.search(pattern, text, re.MULTILINE)
    if match is None:
        raise AssertionError(f"no line for {what} (/{pattern}/) in the output")
    return match


def blocks(text, head):
    """The output cut at each line that starts with `head`."""
    parts = re.split(rf"^(?={re.escape(head)})", text, flags=re.MULTILINE)
    return [part for part in parts if part.startswith(head)]


def first_appearance(rows, values):
    order = []
    for value in values(rows):
        if value not in order:
            order.append(value)
    return order


def fmt(value):
    """A number as printf's %g prints it."""
    return "%g" % value


def check_first_pass(out, sample, checks, work):
    names = ["gender", "occupation", "education", "age", "income"]
    search(r"^record: 8 slots$", out, "the record size")
    for slot, text in enumerate(["gender (categorical)", "occupation (categorical)", "education (categorical)",
                                 "age (continuous)", "income (continuous)", "weight"]):
        search(rf"^  slot {slot}: {re.escape(text)}$", out, f"slot {slot}")
    groups = blocks(out, "group ")
    checks.equal(len(groups), 3, "split groups")
    for g, (block, rows) in enumerate(zip(groups, sample.groups()), start=1):
        read = [r for r in rows if sample.read(r)]
        weighted = [r for r in read if sample.rounded_weight(r) > 0]
        valid = [r for r in weighted if all(sample.valid(r, n) for n in names)]
        wsum = lambda rs: sum(sample.rounded_weight(r) for r in rs)
        m = search(r"^  cases read (\d+), valid (\d+), invalid (\d+)$", block, "case counts")
        checks.equal([int(x) for x in m.groups()], [len(read), len(valid), len(read) - len(valid)],
                     f"group {g}: cases read, valid, invalid")
        m = search(r"^  weighted read (\S+), valid (\S+), invalid (\S+)$", block, "weighted counts")
        checks.equal(list(m.groups()), [fmt(wsum(read)), fmt(wsum(valid)), fmt(wsum(read) - wsum(valid))],
                     f"group {g}: weighted read, valid, invalid")
        m = search(r"^  records (\d+), their weights (\S+)$", block, "records")
        checks.equal(list(m.groups()), [str(len(valid)), fmt(wsum(valid))], f"group {g}: records and weights")
        # Soft listwise deletion: every case with a usable weight is encoded.
        order = first_appearance(weighted, lambda rs: (sample.value(r, "education") for r in rs
                                                       if sample.valid(r, "education")))
        m = search(r"^  education codes: (.*)$", block, "education codes")
        checks.equal(m.group(1), " ".join(f"{c}={fmt(v)}" for c, v in enumerate(order)),
                     f"group {g}: education codes")
        ages = [sample.number(r, "age") for r in weighted if sample.valid(r, "age")]
        m = search(r"^  age range (\S+) to (\S+)$", block, "age range")
        checks.equal(list(m.groups()), [fmt(min(ages)), fmt(max(ages))], f"group {g}: age range")


def check_listwise(out, sample, checks, work):
    # The program's five cases: red 10, purple (missing), green 20,
    # purple 99 (user-missing), red 30. Both modes delete the purple cases;
    # only soft deletion has encoded purple before deleting them.
    soft, strong = blocks(out, "soft listwise"), blocks(out, "strong listwise")
    checks.equal(len(soft) + len(strong), 2, "two passes")
    for block, categories, codes in [(soft[0], "red purple green", "0 2 0"), (strong[0], "red green", "0 1 0")]:
        mode = block.split()[0]
        search(r"listwise: read 5, records 3, deleted 2$", block, f"{mode}: counts")
        checks.equal(search(r"^  color categories: (.*)$", block, "categories").group(1), categories,
                     f"{mode}: categories")
        checks.equal(search(r"^  color codes of the records: (.*)$", block, "codes").group(1), codes,
                     f"{mode}: codes")


def check_matrix(out, sample, checks, work):
    aged = [r for r in sample.rows if sample.valid(r, "age")]
    combination = lambda r: (r["gender"], r["area"])
    values = {("F", "urban"): 1, ("F", "rural"): 2, ("M", "urban"): 3}
    counts = {v: sum(1 for r in aged if combination(r) == c) for c, v in values.items()}
    unknown = sum(1 for r in aged if combination(r) not in values)
    records = sum(counts.values())
    m = search(r"^cases read (\d+), records (\d+), deleted (\d+)$", out, "counts")
    checks.equal([int(x) for x in m.groups()], [len(sample.rows), records, len(sample.rows) - records], "counts")
    for value, count in counts.items():
        m = search(rf"^  matrix value {value}: (\d+) records$", out, f"matrix value {value}")
        checks.equal(int(m.group(1)), count, f"records of matrix value {value}")
    m = search(r"^  combination without entry: (\d+) cases$", out, "unknown combinations")
    checks.equal(int(m.group(1)), unknown, "cases whose combination has no entry")


def check_partitions(out, sample, checks, work):
    names = ["gender", "age", "income"]
    groups = blocks(out, "group ")
    checks.equal(len(groups), 3, "split groups")
    for g, (block, rows) in enumerate(zip(groups, sample.groups()), start=1):
        weighted = [r for r in rows if sample.read(r) and sample.rounded_weight(r) > 0]
        valid = [r for r in weighted if all(sample.valid(r, n) for n in names)]
        first = int(search(r"^  first pass: training records (\d+)$", block, "first pass").group(1))
        m = search(r"^  second pass: records (\d+), excluded (\d+)$", block, "second pass")
        records, excluded = int(m.group(1)), int(m.group(2))
        checks.equal(records, len(valid), f"group {g}: records of the second pass")
        # Every case with a usable weight got a partition; those with a
        # missing value were not stored.
        checks.equal(excluded, len(weighted) - len(valid), f"group {g}: excluded cases")
        parts = {}
        for name in ("training", "test"):
            m = search(rf"^  {name}: (\d+) records, file holds (\d+), mean age (\S+)$", block, name)
            parts[name] = (int(m.group(1)), int(m.group(2)), float(m.group(3)))
            checks.equal(parts[name][1], parts[name][0], f"group {g}: {name} file")
        checks.equal(parts["training"][0], first, f"group {g}: the second pass keeps the first pass's training")
        checks.equal(parts["training"][0] + parts["test"][0], records, f"group {g}: partitions add up")
        share = parts["training"][0] / records
        checks.true(0.6 < share < 0.8, f"group {g}: training share {share:.3f} far from 70%")
        age_sum = sum(sample.number(r, "age") for r in valid)
        checks.close(sum(n * mean for n, _, mean in parts.values()), age_sum, f"group {g}: age over partitions",
                     rel=1e-6)
        folds = [int(x) for x in search(r"^  folds: (.*)$", block, "folds").group(1).split()]
        checks.equal(len(folds), 5, f"group {g}: folds")
        checks.equal(sum(folds), parts["training"][0], f"group {g}: folds cover the training file")


def check_sorting(out, sample, checks, work):
    names = ["gender", "age", "income"]
    valid = [r for r in sample.rows if sample.read(r) and sample.rounded_weight(r) > 0
             and all(sample.valid(r, n) for n in names)]
    m = search(r"^records (\d+), sorted (\d+)$", out, "record counts")
    checks.equal([int(x) for x in m.groups()], [len(valid), len(valid)], "records written and sorted")
    path = search(r"^text: (.*)$", out, "text file").group(1)
    with open(path, encoding="ascii") as f:
        lines = f.read().splitlines()
    checks.equal(len(lines), len(valid), "lines of the text file")
    layout = re.compile(r"^(  -?\d+\.\d{6}|   missing){5}$")
    checks.true(all(layout.match(line) for line in lines), "every line is five values of '  %5f'")
    records = [[float(x) for x in line.split()] for line in lines]
    keys = [(r[1], r[2]) for r in records]
    checks.true(keys == sorted(keys), "the text file is sorted by age, then income")
    checks.equal(sorted(int(r[4]) for r in records), [r["#"] for r in valid], "the case numbers in the file")
    checks.equal(sorted(r[3] for r in records), sorted(float(sample.rounded_weight(r)) for r in valid),
                 "the weights in the file")
    shown = re.findall(r"^  age (\S+), income (\S+)$", out, re.MULTILINE)
    checks.equal(shown, [(fmt(r[1]), fmt(r[2])) for r in records[:3]], "the first records read back")


def check_metadata(out, sample, checks, work):
    weighted = [r for r in sample.rows if sample.read(r) and sample.rounded_weight(r) > 0]
    entries = re.split(r"^(?=\d+ )", out, flags=re.MULTILINE)
    entries = [e for e in entries if e.strip()]
    layout = [("gender", "categorical", 0), ("occupation", "categorical", 0), ("education", "categorical", 0),
              ("age", "continuous", 0), ("income", "continuous", 0), ("defaulted", "categorical", 1),
              ("weight", "weight", 6)]
    checks.equal(len(entries), len(layout), "entries")
    for index, ((name, kind, role), block) in enumerate(zip(layout, entries)):
        field = sample.fields[name]
        head = f'{index} {name}: "{field["title"]}", {kind}, role {role}'
        checks.equal(block.splitlines()[0], head, f"entry {index}")
        labels = {str(c["value"]): c["label"] for c in field.get("categories", [])}
        key = lambda v: v if isinstance(v, str) else fmt(v)
        if kind == "categorical":
            order = first_appearance(weighted, lambda rs: (sample.value(r, name) for r in rs if sample.valid(r, name)))
            values = search(r"^  values: (.*)$", block, f"{name} values").group(1)
            checks.equal(values, " ".join(key(v) for v in order), f"{name}: categories in order of appearance")
            shown = search(r"^  labels: (.*)$", block, f"{name} labels").group(1)
            checks.equal(shown, " ".join('"%s"' % labels.get(key(v), "") for v in order), f"{name}: value labels")
        if kind == "continuous":
            numbers = [sample.number(r, name) for r in weighted if sample.valid(r, name)]
            m = search(r"^  range (\S+) to (\S+)$", block, f"{name} range")
            checks.equal(list(m.groups()), [fmt(min(numbers)), fmt(max(numbers))], f"{name}: range")
        declared = field.get("userMissing", {})
        for value in declared.get("values", []):
            search(rf'^  missing {fmt(value)} "{re.escape(labels.get(fmt(value), ""))}"$', block, f"{name} missing")
        if "range" in declared:
            low, high = declared["range"]
            search(rf"^  missing range {fmt(low)} to {fmt(high)}$", block, f"{name} missing range")


def check_scoring(out, sample, checks, work):
    # The model: income_per_person = income / household_size, log_income =
    # ln(income), both missing when income is missing (-99, -98, -97 are
    # its missing values) or ln is undefined; age_band bins age at 30, 50
    # and 65; urban is 1 exactly for the area "urban".
    def targets(row):
        income = sample.number(row, "income")
        if income in (-99.0, -98.0, -97.0):
            income = None
        age = sample.number(row, "age")
        band = None if age is None else 1 if age < 30 else 2 if age < 50 else 3 if age < 65 else 4
        return {
            "income_per_person": None if income is None else income / sample.number(row, "household_size"),
            "log_income": None if income is None or income <= 0 else math.log(income),
            "age_band": band,
            "urban": 1.0 if row["area"] == "urban" else 0.0,
        }

    results = [targets(r) for r in sample.rows]
    for name in results[0]:
        values = [r[name] for r in results if r[name] is not None]
        m = search(rf"^{name}: (\d+) scored, sum (\S+), (\d+) missing$", out, name)
        checks.equal(int(m.group(1)), len(values), f"{name}: cases scored")
        checks.equal(int(m.group(3)), len(results) - len(values), f"{name}: cases without a value")
        checks.close(float(m.group(2)), sum(values), f"{name}: sum", rel=1e-9)
    for number in (1, 2, 3):
        line = search(rf"^case {number}: (.*)$", out, f"case {number}").group(1)
        for item in line.split():
            name, text = item.split("=")
            expected = results[number - 1][name]
            if expected is None:
                checks.equal(text, "missing", f"case {number}: {name}")
            else:
                checks.close(float(text), expected, f"case {number}: {name}", rel=1e-9)


def check_threads(out, sample, checks, work):
    incomes = [sample.number(r, "income") for r in sample.rows if sample.valid(r, "income")]
    m = search(r"^records (\d+), income sum (\S+)$", out, "the sum")
    checks.equal(int(m.group(1)), len(incomes), "records")
    checks.close(float(m.group(2)), sum(incomes), "income sum", rel=0.0, abs_tol=0.006)


def check_failures(out, sample, checks, work):
    search(r"^pass after the last pass: fail reason 3$", out, "the refused pass")
    search(r"^  assertion: !GetLastDataPass\(\) \(", out, "the refused pass's assertion")
    m = search(r"^fatal host error: fail reason 3, cases read (\d+) of (\d+)$", out, "the fatal error")
    read = int(m.group(1))
    checks.true(100 <= read < int(m.group(2)), f"the pass broke off at case {read}, not after case 100")
    search(r"^temporary file in a missing directory: valid false, error No such file or directory, "
           r"record written false$", out, "the temporary file")
    search(r"^a text that is no model: prepared false$", out, "the refused model")
    search(r"^first preparation true, second false$", out, "the second preparation")
    search(r"^  assertion: !fbPrepareCalled \(", out, "the second preparation's assertion")
    search(r"^time limit: CheckCancel true$", out, "the expired limit")
    search(r"^time limit: left the procedure \(time-out true\)$", out, "the time-out")
    search(r"^  message: Time out termination \.\.\.$", out, "the time-out message")
    checks.equal(len(re.findall(r"^  assertion:", out, re.MULTILINE)), 2, "assertion reports")


CHECKS = {name[len("check_"):]: function for name, function in globals().items() if name.startswith("check_")}


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in CHECKS:
        print(__doc__)
        return 2
    name, binary, data_dir, work = sys.argv[1:]
    # The program's temporary files go to a directory of its own, which it
    # must leave empty.
    tmp = os.path.join(work, "tmp")
    os.makedirs(tmp, exist_ok=True)
    for entry in os.listdir(tmp):  # an earlier run's leftovers: regular files only
        path = os.path.join(tmp, entry)
        if os.path.isfile(path) and not os.path.islink(path):
            os.remove(path)
    command = [binary, data_dir] + ([os.path.join(work, "sorted.txt")] if name == "sorting" else [])
    run = subprocess.run(command, capture_output=True, text=True, timeout=120, env=dict(os.environ, TMPDIR=tmp))
    sys.stdout.write(run.stdout)
    sys.stderr.write(run.stderr)
    checks = Checks(name)
    checks.equal(run.returncode, 0, "exit code")
    checks.equal(os.listdir(tmp), [], "temporary files left behind")
    if run.returncode == 0:
        try:
            CHECKS[name](run.stdout, Sample(data_dir), checks, work)
        except AssertionError as error:
            checks.failures.append(str(error))
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
