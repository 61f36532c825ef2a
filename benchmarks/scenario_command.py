"""The `trovik` command reading many runs, against DuckDB answering the same question in the same
run: per run its metadata, records, and the last and min of one series. `ls` reads every file
(`--no-cache`); scenario_scale measures it with its summary cache.

Sets (generated here, never committed): 1,000 runs of 1,000 records, 10,000 runs of 10 records,
and one run of 1,000,000 records for `trovik show`. Budgets: `ls` at most 0.5x DuckDB's time on
both sets; `show` of the large run within 1 s; the peak memory of `ls` on the first set within
64 MB (it must not grow with the records).
"""

from __future__ import annotations

import os
import subprocess
import sys
import time

import fixtures
import harness
import run_files

TRIALS = 5
DUCKDB_QUERY = """
SELECT run_id, any_value(CASE WHEN kind = 'run_start' THEN value.metadata END) AS metadata,
       count(*) AS records, arg_max(value.loss, elapsed_ms) AS last_loss, min(value.loss) AS min_loss
FROM read_json('{root}/runs/*.jsonl', format = 'newline_delimited',
     columns = {{run_id: 'VARCHAR', kind: 'VARCHAR', elapsed_ms: 'UBIGINT',
                value: 'STRUCT(loss DOUBLE, metadata JSON)'}})
GROUP BY run_id
"""


def command_path() -> str:
    return os.environ.get("TROVIK_COMMAND") or os.path.join(os.path.dirname(sys.executable),
                                                            "trovik")


def _peak_resident_bytes(pid: int) -> int:
    """The process's peak resident memory since it exec'd the command (not counting the forked
    copy of this interpreter it was before), from /proc; 0 once it is gone."""
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    return 0


def _command_trial(*args: str, peaks: list = None) -> harness.Trial:
    def trial() -> float:
        started = time.perf_counter()
        child = subprocess.Popen([command_path(), *args], stdout=subprocess.DEVNULL)
        peak = 0
        if peaks is None:
            child.wait()
        else:
            # The high-water mark only rises, so the last reading before the exit is the peak
            # within one polling interval; the polling slows both variants' trials alike.
            while child.poll() is None:
                peak = max(peak, _peak_resident_bytes(child.pid))
                time.sleep(0.002)
            peaks.append(peak)
        elapsed = time.perf_counter() - started
        if child.returncode != 0:
            raise RuntimeError(f"trovik {' '.join(args)} exited {child.returncode}")
        return elapsed
    return trial


def _duckdb_trial(root: str) -> harness.Trial:
    import duckdb

    query = DUCKDB_QUERY.format(root=root)

    def trial() -> float:
        started = time.perf_counter()
        rows = duckdb.sql(query).fetchall()
        elapsed = time.perf_counter() - started
        assert rows
        return elapsed
    return trial


def run(trovik) -> harness.ScenarioResult:
    result = harness.ScenarioResult("command", "trovik ls / show against DuckDB", "s")
    if not os.path.exists(command_path()):
        result.skipped = f"no trovik command at {command_path()}"
        return result
    try:
        import duckdb  # noqa: F401
    except ImportError:
        result.skipped = "duckdb not importable (pip install -r benchmarks/requirements.txt)"
        return result
    with fixtures.scratch("command") as scratch:
        big = os.path.join(scratch, "big")
        small = os.path.join(scratch, "small")
        one = os.path.join(scratch, "one")
        sizes = {"big": run_files.write_runs(big, 1000, 1000),
                 "small": run_files.write_runs(small, 10000, 10),
                 "one": run_files.write_runs(one, 1, 1_000_000)}
        peaks: list = []
        variants = {
            "ls, 1,000 runs x 1,000 records": _command_trial("--root", big, "ls", "--json",
                                                             "--no-cache", peaks=peaks),
            "DuckDB, 1,000 runs x 1,000 records": _duckdb_trial(big),
            "ls, 10,000 runs x 10 records": _command_trial("--root", small, "ls", "--json",
                                                           "--no-cache"),
            "DuckDB, 10,000 runs x 10 records": _duckdb_trial(small),
            "show, 1 run x 1,000,000 records": _command_trial("--root", one, "show", "@1"),
        }
        result.samples = harness.interleave(variants, TRIALS)
    result.compare("ls, 1,000 runs x 1,000 records", "DuckDB, 1,000 runs x 1,000 records", "<=",
                   0.5)
    result.compare("ls, 10,000 runs x 10 records", "DuckDB, 10,000 runs x 10 records", "<=", 0.5)
    show = result.summary("show, 1 run x 1,000,000 records")
    peak = max(peaks) if peaks else 0
    result.notes.append(f"show of 1,000,000 records: median {show.median:.3f} s "
                        f"({'within' if show.median <= 1.0 else 'OVER'} the 1 s budget)")
    result.notes.append(f"ls peak memory on the first set: {peak / 2**20:.1f} MB "
                        f"({'within' if peak <= 64 * 2**20 else 'OVER'} 64 MB)")
    result.notes.append("set sizes: " + ", ".join(f"{k} {v / 1e6:.0f} MB" for k, v in sizes.items()))
    return result
