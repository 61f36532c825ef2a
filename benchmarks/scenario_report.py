"""`trovik report` on many long runs: 10 runs of 100,000 records (time and file size), 10 runs of
1,000,000 records (time), 200 runs of 10,000 records of 5 series (time and file size), and for both
pages how fast the browser draws them and redraws them when a control changes
(benchmarks/page_timing.py).

The run files are made here: each run starts through the module (a real run_start record), and its
track records are then appended by this script in the module's own line layout, which takes seconds
where a million `track` calls each would take minutes. The budgets are absolute, as the feature
promised them, so each is shown as a ratio to its budget.
"""

from __future__ import annotations

import json
import math
import os
import resource
import shutil
import subprocess
import sys
import time

import fixtures
import harness
import page_timing

RUNS = 10
SMALL_RECORDS = 100_000
LARGE_RECORDS = 1_000_000
SWEEP_RUNS = 200
SWEEP_RECORDS = 10_000
SWEEP_SERIES = 5
TRIALS = 3
SMALL_BUDGET_S = 2.0
SMALL_BUDGET_BYTES = 2_000_000
LARGE_BUDGET_S = 10.0
PAGE_BUDGET_S = 1.0
SWEEP_BUDGET_BYTES = 8_000_000
SWEEP_PAGE_BUDGET_S = 2.0
REDRAW_BUDGET_S = 0.150


def trovik_command() -> str:
    return os.environ.get("TROVIK_COMMAND") or os.path.join(os.path.dirname(sys.executable),
                                                            "trovik")


def make_runs(trovik, root: str, records: int, runs: int = RUNS, series: int = 0) -> None:
    """`runs` runs of `records` records each, a loss with spikes, an accuracy and a learning rate,
    and `series` more series. More than RUNS runs are one sweep: 4 learning rates x 10 widths x 5
    seeds, so that the page groups them over their seeds, 5 runs a group."""
    previous = os.environ.get("TROVIK_DIR")
    os.environ["TROVIK_DIR"] = root
    try:
        for index in range(runs):
            name, metadata = f"bench-{index}", {"lr": 0.1 / (index + 1), "batch": 64}
            if runs > RUNS:
                name = "sweep"
                metadata = {"lr": 0.1 ** (index % 4), "width": 64 * (1 + index // 20),
                            "seed": index // 4 % 5, "batch": 64}
            run = trovik.Experiment(name, metadata)
            with open(run.path) as handle:
                start = json.loads(handle.readline())
            head = json.dumps({k: start[k] for k in ("created_at",)})[:-1]
            envelope = (f',"experiment_name":{json.dumps(run.name)},"kind":"track",'
                        f'"run_id":"{run.run_id}","schema_version":1,'
                        f'"trovik_version":{json.dumps(start["trovik_version"])},"value":')
            lines = []
            for step in range(records):
                loss = 2.5 * math.exp(-step / (records / 8)) + 0.01 * (step % 17)
                if step % 9973 == 0:
                    loss += 1.0
                more = "".join(f'"m{k}":{math.sin(step / 50 + k + index) + k:.6f},'
                               for k in range(series))
                lines.append(
                    f'{head},"elapsed_ms":{step * 3}{envelope}'
                    f'{{"acc":{1 - loss / 4:.6f},"loss":{loss:.6f},"lr":{0.1 / (index + 1)},'
                    f'{more}"step":{step}}}}}\n')
                if len(lines) == 50_000:
                    with open(run.path, "a") as handle:
                        handle.writelines(lines)
                    lines.clear()
            with open(run.path, "a") as handle:
                handle.writelines(lines)
    finally:
        if previous is None:
            os.environ.pop("TROVIK_DIR", None)
        else:
            os.environ["TROVIK_DIR"] = previous


def write_report(root: str, output: str, every_run: bool = False) -> tuple:
    """Wall-clock and CPU seconds of one `trovik report` (of the newest 20 runs, or of every run
    under `root`): on a shared machine the second shows what the command costs when the first is
    inflated by waiting for a core."""
    runs = []
    if every_run:
        directory = os.path.join(root, "runs")
        runs = [os.path.join(directory, name) for name in sorted(os.listdir(directory))]
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.perf_counter()
    subprocess.run([trovik_command(), "report", "--root", root, "-o", output, *runs], check=True,
                   stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def verdict(value: float, budget: float) -> str:
    return "PASS" if value <= budget else "MISS"


def page_notes(result: harness.ScenarioResult, label: str, page: str, draw_budget: float) -> None:
    """The page's drawing and redrawing times, as notes against their budgets."""
    if not (shutil.which("chromium") and shutil.which("chromedriver")):
        result.notes.append("page timings not measured: chromium or chromedriver missing")
        return
    samples = page_timing.page_timings(page, TRIALS)
    drawn = page_timing.median(samples["drawn"])
    result.notes.append(f"{label}: charts in view drawn {drawn * 1000:.0f} ms after "
                        f"DOMContentLoaded (budget {draw_budget * 1000:.0f} ms: "
                        f"{verdict(drawn, draw_budget)})")
    for control in ("log", "smoothing", "grouping", "hiding"):
        redrawn = page_timing.median(samples[control])
        result.notes.append(f"{label}: {control}, {samples['charts'][0]:.0f} charts redrawn in "
                            f"{redrawn * 1000:.0f} ms (budget {REDRAW_BUDGET_S * 1000:.0f} ms: "
                            f"{verdict(redrawn, REDRAW_BUDGET_S)})")


def run(trovik) -> harness.ScenarioResult:
    result = harness.ScenarioResult("report", "trovik report of 10 long runs", "s")
    with fixtures.scratch("report") as scratch:
        small = os.path.join(scratch, "small")
        make_runs(trovik, small, SMALL_RECORDS)
        page = os.path.join(scratch, "small.html")
        times = [write_report(small, page) for _ in range(TRIALS + 1)][1:]
        result.samples["report 10 x 100k"] = [wall for wall, _ in times]
        result.samples["report 10 x 100k, CPU"] = [cpu for _, cpu in times]
        result.samples["budget 2 s"] = [SMALL_BUDGET_S] * TRIALS
        result.compare("report 10 x 100k", "budget 2 s", "<=", 1.0)
        result.compare("report 10 x 100k, CPU", "budget 2 s")
        size = os.path.getsize(page)
        result.notes.append(f"page of 10 x 100k: {size / 1e6:.2f} MB (budget "
                            f"{SMALL_BUDGET_BYTES / 1e6:.0f} MB: "
                            f"{verdict(size, SMALL_BUDGET_BYTES)})")
        page_notes(result, "10 x 100k", page, PAGE_BUDGET_S)
        shutil.rmtree(small)

        sweep = os.path.join(scratch, "sweep")
        make_runs(trovik, sweep, SWEEP_RECORDS, SWEEP_RUNS, SWEEP_SERIES - 3)
        sweep_page = os.path.join(scratch, "sweep.html")
        times = [write_report(sweep, sweep_page, every_run=True) for _ in range(TRIALS)]
        result.samples["report 200 x 10k x 5"] = [wall for wall, _ in times]
        result.samples["report 200 x 10k x 5, CPU"] = [cpu for _, cpu in times]
        size = os.path.getsize(sweep_page)
        result.notes.append(f"page of 200 x 10k x 5: {size / 1e6:.2f} MB (budget "
                            f"{SWEEP_BUDGET_BYTES / 1e6:.0f} MB: "
                            f"{verdict(size, SWEEP_BUDGET_BYTES)})")
        page_notes(result, "200 x 10k x 5", sweep_page, SWEEP_PAGE_BUDGET_S)
        shutil.rmtree(sweep)

        large = os.path.join(scratch, "large")
        make_runs(trovik, large, LARGE_RECORDS)
        wall, cpu = write_report(large, page)
        result.samples["report 10 x 1M"] = [wall]
        result.samples["report 10 x 1M, CPU"] = [cpu]
        result.samples["budget 10 s"] = [LARGE_BUDGET_S]
        result.compare("report 10 x 1M", "budget 10 s", "<=", 1.0)
        result.compare("report 10 x 1M, CPU", "budget 10 s")
        run_files = os.path.join(large, "runs")
        total = sum(os.path.getsize(os.path.join(run_files, f)) for f in os.listdir(run_files))
        result.notes.append(f"10 x 1M: {total / 1e9:.2f} GB of run files")
    return result
