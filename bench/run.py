#!/usr/bin/python3
"""Runs the benchmarks against their peers and prints one table; `make bench`.

Every figure is compared with a peer measured in the same run. The C++
programs measure themselves (Google Benchmark, JSON output); the pandas peers
(bench/peers.py) report the time of their own work. Programs and peers run
alternately, round after round (C++, pandas, C++, pandas, ...), so that both
see the same load; the table shows medians over the rounds, and each ratio is
the median of the per-round ratios.

  bench/run.py --build build-release --results build/bench/results.json
"""
import argparse
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PEERS = os.path.join(HERE, "peers.py")
# The Polars and DuckDB peers (Node.js; bench/node holds their packages).
NODE_PEERS = os.path.join(HERE, "peers.mjs")


class Runner:
    def __init__(self, args):
        self.build = os.path.abspath(args.build)
        self.cases = args.cases
        self.rounds = args.rounds
        self.python = sys.executable
        self.work = tempfile.mkdtemp(prefix="kvo-bench-", dir=os.environ.get("TMPDIR", "/tmp"))
        # The programs' messages, this run's only.
        self.logs = os.path.join(os.path.dirname(os.path.abspath(args.results)), "logs")
        shutil.rmtree(self.logs, ignore_errors=True)
        os.makedirs(self.logs)
        # The programs' temporary files go to the work directory too.
        self.env = dict(os.environ, TMPDIR=self.work, KVO_BENCH_CASES=str(self.cases))
        self.rows = []

    def program(self, name):
        return os.path.join(self.build, "bench", name)

    def run(self, command, log):
        """Runs a command to completion; returns (stdout, wall seconds, peak
        resident bytes, processor seconds). Its stderr goes to the log;
        failure stops the run."""
        with open(os.path.join(self.logs, log), "a") as err:
            start = time.perf_counter()
            child = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=err, env=self.env, text=True)
            out = child.stdout.read()
            _, status, usage = os.wait4(child.pid, 0)
            seconds = time.perf_counter() - start
            child.returncode = os.waitstatus_to_exitcode(status)
        if child.returncode != 0:
            sys.exit(f"bench: {' '.join(command)} failed ({child.returncode}); see {self.logs}/{log}\n{out}")
        return out, seconds, usage.ru_maxrss * 1024, usage.ru_utime + usage.ru_stime

    def gbench(self, name, *flags):
        """Runs a Google Benchmark program; returns its runs (not the
        aggregates) from the JSON file. A benchmark that failed stops the run."""
        out = os.path.join(self.work, name + ".json")
        self.run([self.program(name), f"--benchmark_out={out}", "--benchmark_out_format=json", *flags],
                 name + ".log")
        with open(out) as f:
            runs = json.load(f)["benchmarks"]
        os.remove(out)
        for run in runs:
            if run.get("error_occurred"):
                sys.exit(f"bench: {name}: {run['name']}: {run.get('error_message')}")
        return [r for r in runs if r.get("run_type") == "iteration"]

    def add(self, name, figure, comparison, ratios, target, extra=None):
        """One table row. figure, comparison: see the figure helpers below;
        ratios: the per-round ratios; target: (">=", "<=" or "<", value) or
        None; extra: more fields for the JSON (such as ratio_cpu, the ratio
        of processor times, which the load of other processes disturbs less)."""
        ratio = statistics.median(ratios)
        met = None
        if target is not None:
            compare = {">=": float.__ge__, "<=": float.__le__, "<": float.__lt__}[target[0]]
            met = compare(float(ratio), float(target[1]))
        row = {"benchmark": name, "figure": figure, "comparison": comparison, "ratio": ratio,
               "ratios": ratios, "target": target, "met": met}
        if extra:
            row.update(extra)
        self.rows.append(row)
        print(f"  {name}: ratio {ratio:.3g}", flush=True)

    # --- The data --------------------------------------------------------

    def write_data(self):
        self.run([self.program("data_pass_bench"), f"--write_data={self.work}"], "data_pass_bench.log")
        self.records = os.path.join(self.work, "records.f64")
        out = self.run([self.program("data_pass_bench"), f"--check_records={self.records}"],
                       "data_pass_bench.log")[0]
        print("  " + out.strip())
        out = self.run([self.python, PEERS, "data-pass", "--data", self.data("cases.f64"),
                        "--cases", str(self.cases), "--check", self.records], "peers.log")[0]
        print(f"  pandas: the same {json.loads(out)['records']:,} records")
        os.remove(self.records)

    def data(self, name):
        return os.path.join(self.work, name)

    # --- Rows 1 and 2: the data pass and the partitioned pass ----------------

    def data_pass(self):
        names = ["BM_LibraryFirstPass/listwise", "BM_LibrarySecondPass/listwise", "BM_HandLoopFirstPass/listwise",
                 "BM_HandLoopSecondPass/listwise", "BM_PartitionedSecondPass"]
        wall = {name: [] for name in names}
        cpu = {name: [] for name in names}
        for key in ("pandas_pass", "pandas_partition"):
            wall[key], cpu[key] = [], []
        parts = os.path.join(self.work, "pandas-parts")
        os.makedirs(parts, exist_ok=True)
        pattern = "^(" + "|".join(names) + ")/"
        for _ in range(self.rounds):
            runs = self.gbench("data_pass_bench", f"--benchmark_filter={pattern}",
                               "--benchmark_enable_random_interleaving=true")
            for run in runs:
                name = next(n for n in names if run["name"].startswith(n + "/"))
                wall[name].append(self.cases / seconds(run))
                cpu[name].append(self.cases / seconds(run, "cpu_time"))
            result = json.loads(self.run([self.python, PEERS, "data-pass", "--data", self.data("cases.f64"),
                                          "--cases", str(self.cases), "--out", parts], "peers.log")[0])
            for key, field in (("pandas_pass", "data_pass"), ("pandas_partition", "partition")):
                wall[key].append(self.cases / result[field + "_s"])
                cpu[key].append(self.cases / result[field + "_cpu_s"])
        for name in names:
            if len(wall[name]) != self.rounds:
                sys.exit(f"bench: {name} did not run in every round")
        shutil.rmtree(parts)

        def row(title, a, b, what_a, what_b, target):
            self.add(title, rate_figure(wall[a], what_a), rate_figure(wall[b], what_b), pair(wall[a], wall[b]),
                     target, {"ratio_cpu": statistics.median(pair(cpu[a], cpu[b]))})

        for label, lib, hand in (("first", names[0], names[2]), ("second", names[1], names[3])):
            row(f"Data pass, {label} pass vs pandas", lib, "pandas_pass", "library", "pandas", None)
            row(f"Data pass, {label} pass vs hand loop", lib, hand, "library", "hand-written loop", (">=", 0.60))
        row("Partitioned pass to files vs pandas", names[4], "pandas_partition", "library, second pass",
            "pandas split + raw files", (">=", 5.0))

    # --- Rows 3 to 6: the C++ programs with their own peers -------------------

    def record_files(self):
        runs = self.gbench("datafile_bench", f"--benchmark_repetitions={self.rounds}")
        # Plain stdio given the iterator's buffer size: the iterator's own cost.
        same = [r["records_per_s"] / r["speed_vs_plain_same_buffer"] for r in runs]
        self.add("Record files vs fwrite/fread, same buffer",
                 counter_figure(runs, "records_per_s", "records/s", "KVODataFileIter"),
                 rate_figure(same, "plain stdio, 256 KiB buffer", "records/s"),
                 [r["speed_vs_plain_same_buffer"] for r in runs], (">=", 0.70))

    def sort(self):
        runs = self.gbench("sort_bench", "--benchmark_filter=^BM_SortInMemoryBudget/",
                           f"--benchmark_repetitions={self.rounds}")
        self.add("Sort vs std::sort + permute", time_figure([seconds(r) for r in runs], "SORTFILE"),
                 time_figure([r["in_memory_s"] for r in runs], "in memory"),
                 [r["sort_vs_in_memory"] for r in runs], ("<=", 2.0))
        # Peak memory is steady: one run alone in its process.
        out = os.path.join(self.work, "sort_bench.json")
        peak = self.run([self.program("sort_bench"), "--benchmark_filter=^BM_SortQuarterBudgetAlone/",
                         f"--benchmark_out={out}", "--benchmark_out_format=json"], "sort_bench.log")[2]
        with open(out) as f:
            run = json.load(f)["benchmarks"][0]
        os.remove(out)
        if run.get("error_occurred"):
            sys.exit(f"bench: the quarter-budget sort failed: {run.get('error_message')}")
        bound = (run["budget_MiB"] + run["data_MiB"]) * (1 << 20)
        self.add("Sort, quarter budget: peak memory", memory_figure([peak], "process peak"),
                 memory_figure([bound], "budget + data"), [peak / bound], ("<=", 1.5),
                 {"sort_peak_bytes": run["peak_MiB"] * (1 << 20)})

    def thread_pool(self):
        runs = self.gbench("thread_pool_bench", f"--benchmark_repetitions={self.rounds}")
        one = [r["per_task"] for r in runs if r["name"].startswith("BM_HandOutEmptyTasks/1/")]
        two = [r["per_task"] for r in runs if r["name"].startswith("BM_HandOutEmptyTasks/2/")]
        self.add("Thread pool: per-task cost, 2 threads vs 1", time_figure(two, "2 threads"),
                 time_figure(one, "1 thread"), [a / b for a, b in zip(two, one)], None)
        speed = [r for r in runs if r["name"].startswith("BM_SpeedupTwoThreadsOverOne")]
        self.add("Thread pool: speedup of 2 threads over 1",
                 time_figure([r["two_threads_ms"] / 1e3 for r in speed], "2 threads"),
                 time_figure([r["one_thread_ms"] / 1e3 for r in speed], "1 thread"),
                 [r["speedup"] for r in speed], (">=", 1.8))

    def scoring(self):
        # The program repeats each benchmark itself; interleave the repetitions.
        runs = self.gbench("scoring_bench", "--benchmark_enable_random_interleaving=true")
        cases = 1_000_000
        model = [r for r in runs if r["name"].startswith("BM_ScoreRecordModel")]
        hand = [r for r in runs if r["name"].startswith("BM_HandWritten")]

        def median_rate(group, timer="real_time"):
            return statistics.median(cases / seconds(r, timer) for r in group)

        self.add("Scoring vs hand-written arithmetic",
                 rate_figure([cases / seconds(r) for r in model], "ScoreRecord"),
                 rate_figure([cases / seconds(r) for r in hand], "hand-written"),
                 [median_rate(model) / median_rate(hand)], (">=", 0.30),
                 {"ratio_cpu": median_rate(model, "cpu_time") / median_rate(hand, "cpu_time")})

    # --- Row 7: kvo prepare against the pandas script ----------------------

    def end_to_end(self):
        csv = self.data("cases.csv")
        kvo_out = self.data("kvo-out")
        peer_out = {name: self.data(name + "-out") for name in ("pandas", "polars-eager", "polars-lazy", "duckdb")}
        kvo = [os.path.join(self.build, "tools", "kvo"), "prepare", csv, "--cat", ",".join(f"c{i}" for i in range(10)),
               "--cont", ",".join(f"x{i}" for i in range(10)), "--weight", "w", "--strong-listwise",
               "--partition", "70,30", "--quiet", "--json", "--out", kvo_out]
        peers = {"pandas": [self.python, PEERS, "prepare", "--csv", csv, "--out", peer_out["pandas"]]}
        for name in ("polars-eager", "polars-lazy", "duckdb"):
            peers[name] = ["node", NODE_PEERS, name, "--csv", csv, "--out", peer_out[name]]
        report = self.data("report.html")
        reporting = kvo + ["--report", report]
        times = {name: [] for name in ["kvo", "report", *peers]}
        cpu = {name: [] for name in ["kvo", "report", *peers]}
        peaks = {"kvo": [], "pandas": []}
        for round_ in range(self.rounds):
            _, kvo_seconds, kvo_peak, kvo_cpu = self.run(kvo, "kvo.log")
            shutil.rmtree(kvo_out)
            _, report_seconds, _, report_cpu = self.run(reporting, "kvo.log")
            times["report"].append(report_seconds)
            cpu["report"].append(report_cpu)
            times["kvo"].append(kvo_seconds)
            cpu["kvo"].append(kvo_cpu)
            peaks["kvo"].append(kvo_peak)
            for name, command in peers.items():
                out, _, peak, _ = self.run(command, "peers.log")
                if round_ == 0:
                    self.check_prepared(kvo_out, peer_out[name], name)
                result = json.loads(out)
                times[name].append(result["prepare_s"])
                cpu[name].append(result["prepare_cpu_s"])
                if name == "pandas":
                    peaks["pandas"].append(peak)
                shutil.rmtree(peer_out[name])
            shutil.rmtree(kvo_out)
        # Polars' users would take the faster of its two ways: per round.
        times["polars"] = [min(a, b) for a, b in zip(times["polars-eager"], times["polars-lazy"])]
        cpu["polars"] = [a if ta <= tb else b for a, b, ta, tb in
                         zip(cpu["polars-eager"], cpu["polars-lazy"], times["polars-eager"], times["polars-lazy"])]
        for name, what, target, extra in (
                ("pandas", "pandas script", 6.0, {}),
                ("polars", "Polars, the faster of eager and lazy", 3.0,
                 {"polars_eager_s": times["polars-eager"], "polars_lazy_s": times["polars-lazy"]}),
                ("duckdb", "DuckDB SQL", 5.0, {})):
            title = {"pandas": "pandas", "polars": "Polars", "duckdb": "DuckDB"}[name]
            self.add(f"End to end: kvo prepare vs {title}", time_figure(times["kvo"], "kvo prepare"),
                     time_figure(times[name], what), pair(times[name], times["kvo"]), (">=", target),
                     {"ratio_cpu": statistics.median(pair(cpu[name], cpu["kvo"])), **extra})
        self.add("End to end: peak memory", memory_figure(peaks["kvo"], "kvo prepare"),
                 memory_figure(peaks["pandas"], "pandas script"),
                 pair(peaks["kvo"], peaks["pandas"]), ("<", 1.0))
        self.add("End to end: kvo prepare --report vs without", time_figure(times["report"], "with --report"),
                 time_figure(times["kvo"], "without"), pair(times["report"], times["kvo"]), ("<=", 1.05),
                 {"ratio_cpu": statistics.median(pair(cpu["report"], cpu["kvo"])),
                  "report_bytes": os.path.getsize(report)})

    def csv_load(self):
        """The CSV loader's speed against memchr over the same bytes."""
        runs = self.gbench("csv_load_bench", f"--csv={self.data('cases.csv')}",
                           f"--schema={self.data('cases.schema.json')}", "--benchmark_filter=^LoadGivenCsv",
                           f"--benchmark_repetitions={self.rounds}")
        self.add("CSV load vs memchr over the same bytes", counter_figure(runs, "load_MB_per_s", "MB/s", "CSV load"),
                 counter_figure(runs, "memchr_MB_per_s", "MB/s", "memchr for line ends"),
                 [r["load_vs_memchr"] for r in runs], None)

    def check_prepared(self, kvo_out, peer_out, peer):
        """Both must write the same records; only the random split differs."""
        result = json.loads(self.run([self.python, PEERS, "compare", kvo_out, peer_out], "peers.log")[0])
        print(f"  kvo and {peer} wrote the same {result['records']:,} records (training/test: kvo "
              f"{result['kvo'][0]:,}/{result['kvo'][1]:,}, {peer} {result['pandas'][0]:,}/{result['pandas'][1]:,})",
              flush=True)

    def cleanup(self):
        shutil.rmtree(self.work, ignore_errors=True)


# --- Figures ------------------------------------------------------------------

def seconds(run, timer="real_time"):
    """A Google Benchmark run's time per iteration in seconds."""
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run["time_unit"]]
    return run[timer] * scale


def pair(a, b):
    """The ratios of values measured in the same round."""
    return [x / y for x, y in zip(a, b)]


def rate_figure(values, what, unit="cases/s"):
    return {"value": statistics.median(values), "unit": unit, "what": what, "samples": values}


def counter_figure(runs, counter, unit, what):
    return rate_figure([r[counter] for r in runs], what, unit)


def time_figure(values, what):
    return {"value": statistics.median(values), "unit": "s", "what": what, "samples": values}


def memory_figure(values, what):
    return {"value": statistics.median(values), "unit": "bytes", "what": what, "samples": values}


def show(figure):
    value, unit = figure["value"], figure["unit"]
    if unit == "s":
        for scale, name in ((1, "s"), (1e-3, "ms"), (1e-6, "us"), (1e-9, "ns")):
            if value >= scale:
                return f"{value / scale:.3g} {name}"
        return f"{value / 1e-9:.3g} ns"
    if unit == "bytes":
        return f"{value / (1 << 20):,.0f} MiB"
    if unit == "MB/s":
        return f"{value:,.0f} MB/s"
    return f"{value / 1e6:.3g}M {unit}"


def machine():
    model = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    commit = subprocess.run(["git", "-C", HERE, "rev-parse", "--short", "HEAD"], capture_output=True, text=True)
    return {"nproc": os.cpu_count(), "cpu": model, "load_average": list(os.getloadavg()),
            "kernel": platform.release(), "python": platform.python_version(), "pandas": pandas_version(),
            "commit": commit.stdout.strip()}


def pandas_version():
    try:
        import pandas
        return pandas.__version__
    except ImportError:
        return None


def print_table(rows):
    header = ("benchmark", "figure", "comparison", "ratio", "target", "met?")
    lines = []
    for row in rows:
        target = row["target"]
        lines.append((row["benchmark"], show(row["figure"]), show(row["comparison"]), f"{row['ratio']:.3g}",
                      "-" if target is None else f"{target[0]} {target[1]:g}",
                      "-" if row["met"] is None else ("yes" if row["met"] else "NO")))
    widths = [max(len(h), *(len(line[i]) for line in lines)) for i, h in enumerate(header)]
    print()
    for line in [header, tuple("-" * w for w in widths)] + lines:
        print("  ".join(cell.ljust(w) if i == 0 else cell.rjust(w) for i, (cell, w) in enumerate(zip(line, widths))))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build-release", help="the Release build directory")
    parser.add_argument("--results", default="build/bench/results.json")
    parser.add_argument("--cases", type=int, default=2_000_000)
    parser.add_argument("--rounds", type=int, default=7, help="repetitions of every measurement (at least 5)")
    parser.add_argument("--only", help="comma-separated: data,records,sort,threads,scoring,prepare,csv")
    args = parser.parse_args()
    steps = ["data", "records", "sort", "threads", "scoring", "prepare", "csv"]
    chosen = args.only.split(",") if args.only else steps

    runner = Runner(args)
    before = machine()
    started = time.time()
    try:
        print(f"bench: {args.cases:,} cases, {args.rounds} rounds, data in {runner.work}", flush=True)
        if "data" in chosen or "prepare" in chosen or "csv" in chosen:
            runner.write_data()
        if "data" in chosen:
            runner.data_pass()
        if "records" in chosen:
            runner.record_files()
        if "sort" in chosen:
            runner.sort()
        if "threads" in chosen:
            runner.thread_pool()
        if "scoring" in chosen:
            runner.scoring()
        if "prepare" in chosen:
            runner.end_to_end()
        if "csv" in chosen:
            runner.csv_load()
    finally:
        runner.cleanup()

    print_table(runner.rows)
    after = machine()
    print(f"\n{before['nproc']} x {before['cpu']}; load average {before['load_average'][0]:.2f} at the start, "
          f"{after['load_average'][0]:.2f} at the end; {time.time() - started:.0f} s")
    os.makedirs(os.path.dirname(os.path.abspath(args.results)), exist_ok=True)
    with open(args.results, "w") as f:
        json.dump({"date": time.strftime("%Y-%m-%dT%H:%M:%S%z"), "cases": args.cases, "rounds": args.rounds,
                   "machine": before, "load_average_after": after["load_average"], "rows": runner.rows}, f, indent=2)
    print(f"results: {args.results}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
