#!/usr/bin/python3
"""The pandas peers of the benchmarks: the same work as the C++ programs, the
idiomatic pandas way. Each command loads its input, times only its own work
(not the interpreter's start, the imports or the loading of the data frame)
and prints one JSON object on stdout.

  peers.py data-pass --data cases.f64 --cases N [--check records.f64] [--out DIR]
      listwise mask, factorize(sort=False) per categorical column on the kept
      rows, weight rounding, one contiguous float64 matrix (the data pass);
      with --out also a 70/30 random split written as raw float64 files
      (the partitioned pass). Each is timed over --repeats runs (default 3)
      after an untimed one on a slice. --check compares the matrix with the
      records the C++ program wrote and fails when they differ.
  peers.py prepare --csv cases.csv --out DIR
      what `kvo prepare --strong-listwise --partition 70,30` does with the
      same CSV: read_csv, the rules, the split, the text files.
  peers.py compare KVO_DIR PANDAS_DIR
      checks that kvo and a peer (this script, or peers.mjs) wrote the same
      records (see there).
"""
import argparse
import json
import os
import sys
import time

import numpy as np
import pandas as pd

N_CAT = 10
N_CONT = 10
CAT = [f"c{i}" for i in range(N_CAT)]
CONT = [f"x{i}" for i in range(N_CONT)]
CAT_USER_MISSING = 99.0
CONT_USER_MISSING = -1.0
SYSMIS = -sys.float_info.max
TRAINING_SHARE = 0.7
SEED = 2000000


class Clock:
    """Wall and processor time of the timed work."""

    def __init__(self):
        self.wall, self.cpu = time.perf_counter(), time.process_time()

    def stop(self, name):
        """{name_s: wall seconds, name_cpu_s: processor seconds} since the start."""
        return {name + "_s": time.perf_counter() - self.wall, name + "_cpu_s": time.process_time() - self.cpu}


def listwise_mask(df):
    """Cases with a usable weight (rounding to at least 1) and no missing
    value: system-missing is NaN, user-missing the declared code."""
    mask = df["w"].to_numpy() >= 0.5
    for column in CAT:
        values = df[column].to_numpy()
        mask &= ~np.isnan(values) & (values != CAT_USER_MISSING)
    for column in CONT:
        values = df[column].to_numpy()
        mask &= ~np.isnan(values) & (values != CONT_USER_MISSING)
    return mask


def assemble(df, mask, local, partition=None):
    """The records of the kept rows: category codes in order of first
    appearance, the continuous values, [the partition indicator,] the
    rounded weight, the local and the global case counter."""
    kept = df[mask]
    rows = np.flatnonzero(mask)
    extra = 0 if partition is None else 1
    out = np.empty((len(kept), N_CAT + N_CONT + 3 + extra))
    for i, column in enumerate(CAT):
        codes, _ = pd.factorize(kept[column], sort=False)
        out[:, i] = codes
    out[:, N_CAT:N_CAT + N_CONT] = kept[CONT].to_numpy()
    at = N_CAT + N_CONT
    if partition is not None:
        out[:, at] = partition
        at += 1
    out[:, at] = np.floor(kept["w"].to_numpy() + 0.5)
    out[:, at + 1] = local[rows]
    out[:, at + 2] = rows + 1
    return out


def split(records, directory, write):
    """Marks 70% of the records at random as training (1) and the rest as
    test (0) and writes each partition with `write`."""
    draws = np.random.default_rng(SEED).random(len(records))
    training = draws < TRAINING_SHARE
    at = N_CAT + N_CONT
    records[:, at] = np.where(training, 1.0, 0.0)
    written = []
    for name, rows in (("training", training), ("test", ~training)):
        part = records[rows]
        write(part, os.path.join(directory, name))
        written.append(len(part))
    return written


def load_frame(path, cases):
    """The cases as a DataFrame the way pandas keeps one: a float64 column
    per variable, each contiguous, system-missing as NaN."""
    raw = np.fromfile(path, dtype=np.float64).reshape(cases, N_CAT + N_CONT + 1)
    raw[raw == SYSMIS] = np.nan
    return pd.DataFrame({name: np.ascontiguousarray(raw[:, i]) for i, name in enumerate(CAT + CONT + ["w"])})


def timed(name, work, repeats):
    """Runs `work` once on a slice of the data, untimed (pandas initialises
    parts of itself on first use), then `repeats` times; the mean times, as
    Google Benchmark reports them."""
    work(slice(0, 10000))
    clock = Clock()
    for _ in range(repeats):
        result = work(slice(None))
    times = clock.stop(name)
    return {key: value / repeats for key, value in times.items()}, result


def data_pass(args):
    df = load_frame(args.data, args.cases)
    local = np.arange(len(df), dtype=np.float64)  # every case is read

    def one_pass(rows):
        frame = df[rows]
        return assemble(frame, listwise_mask(frame), local[rows])

    result, records = timed("data_pass", one_pass, args.repeats)
    result["records"] = len(records)
    if args.check:
        expected = np.fromfile(args.check, dtype=np.float64).reshape(-1, records.shape[1])
        if not np.array_equal(expected, records):
            bad = np.argwhere(expected != records) if expected.shape == records.shape else None
            where = f", first at record {bad[0][0]}, slot {bad[0][1]}" if bad is not None and len(bad) else ""
            sys.exit(f"pandas: the records differ from the C++ records ({records.shape} vs {expected.shape}){where}")

    if args.out:
        def partitioned_pass(rows):
            frame = df[rows]
            records = assemble(frame, listwise_mask(frame), local[rows], partition=0.0)
            return split(records, args.out, lambda part, path: part.tofile(path + ".f64"))

        times, written = timed("partition", partitioned_pass, args.repeats)
        result.update(times)
        result["partition_records"] = written
        for name in ("training", "test"):
            os.remove(os.path.join(args.out, name + ".f64"))
    print(json.dumps(result))


def write_text(part, path):
    """One line per record, each value as two blanks and %f, as kvo writes."""
    np.savetxt(path + ".txt", part, fmt="  %5f", delimiter="")


def prepare(args):
    clock = Clock()
    df = pd.read_csv(args.csv, dtype=np.float64)
    # Cases without a positive weight are not read, so they take no local
    # case number; cases rounding to a weight of 0 are read and rejected.
    weight = df["w"].to_numpy()
    read = weight > 0
    local = np.cumsum(read) - 1.0
    mask = read & listwise_mask(df)
    records = assemble(df, mask, local, partition=0.0)
    os.makedirs(args.out, exist_ok=True)
    written = split(records, args.out, write_text)
    result = clock.stop("prepare")
    result["records"] = written
    print(json.dumps(result))


def compare(args):
    """The two split the records differently (each draws its own random
    numbers) and number the categories in the order they meet them (kvo
    only among training cases), so the records are compared in case order,
    without the partition indicator, and the category codes by their
    one-to-one correspondence."""
    def load(directory):
        parts = [pd.read_csv(os.path.join(directory, name + ".txt"), delim_whitespace=True, header=None).to_numpy()
                 for name in ("training", "test")]
        records = np.concatenate(parts)
        return records[np.argsort(records[:, -1], kind="stable")], [len(part) for part in parts]

    ours, our_parts = load(os.path.join(args.kvo, "all"))
    theirs, their_parts = load(args.pandas)
    problem = None
    partition = N_CAT + N_CONT
    if ours.shape != theirs.shape:
        problem = f"{ours.shape} records and slots against {theirs.shape}"
    else:
        same = [i for i in range(ours.shape[1]) if i != partition]
        for i in range(N_CAT):
            pairs = {(a, b) for a, b in zip(ours[:, i], theirs[:, i])}
            if len(pairs) != len(set(ours[:, i])) or len(pairs) != len(set(theirs[:, i])):
                problem = f"the codes of slot {i} do not correspond one to one"
            same.remove(i)
        differ = np.argwhere(ours[:, same] != theirs[:, same])
        if problem is None and len(differ):
            problem = f"record {differ[0][0]} (in case order), slot {same[differ[0][1]]}"
    if problem:
        sys.exit(f"kvo and the peer wrote different records: {problem}")
    print(json.dumps({"records": len(ours), "kvo": our_parts, "pandas": their_parts}))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    one = commands.add_parser("data-pass")
    one.add_argument("--data", required=True)
    one.add_argument("--cases", type=int, required=True)
    one.add_argument("--check")
    one.add_argument("--out")
    one.add_argument("--repeats", type=int, default=3)
    two = commands.add_parser("prepare")
    two.add_argument("--csv", required=True)
    two.add_argument("--out", required=True)
    three = commands.add_parser("compare")
    three.add_argument("kvo")
    three.add_argument("pandas")
    args = parser.parse_args()
    {"data-pass": data_pass, "prepare": prepare, "compare": compare}[args.command](args)


if __name__ == "__main__":
    main()
