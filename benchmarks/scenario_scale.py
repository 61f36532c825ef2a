"""`trovik ls` over 100,000 runs of 10 records, with its summary cache: empty, unchanged since the
last `ls`, and after one run grew by 1,000 records; against reading every file (`--no-cache`).

Budgets: with an empty cache no slower than reading without one (<= 1.1x); unchanged within
0.3 s; after the growth, the bytes read are the appended records and the cache, not the runs;
peak memory within 128 MB.
"""

from __future__ import annotations

import os
import shutil
import subprocess
import time

import fixtures
import harness
import run_files
import scenario_command

TRIALS = 3
RUNS = 100_000


def _read_bytes(pid: int) -> int:
    """What the process has read so far (rchar of /proc/<pid>/io); 0 once it is gone."""
    try:
        with open(f"/proc/{pid}/io") as io:
            for line in io:
                if line.startswith("rchar:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def _ls_trial(root: str, *extra: str, before=None, peaks: list = None,
              reads: list = None) -> harness.Trial:
    def trial() -> float:
        if before is not None:
            before()
        started = time.perf_counter()
        child = subprocess.Popen([scenario_command.command_path(), "--root", root, "ls", "--json",
                                  *extra], stdout=subprocess.DEVNULL)
        peak = read = 0
        while child.poll() is None:
            peak = max(peak, scenario_command._peak_resident_bytes(child.pid))
            read = max(read, _read_bytes(child.pid))
            time.sleep(0.002)
        elapsed = time.perf_counter() - started
        if child.returncode != 0:
            raise RuntimeError(f"trovik ls {' '.join(extra)} exited {child.returncode}")
        if peaks is not None:
            peaks.append(peak)
        if reads is not None:
            reads.append(read)
        return elapsed
    return trial


def run(trovik) -> harness.ScenarioResult:
    result = harness.ScenarioResult("scale", "trovik ls over 100,000 runs, with its cache", "s")
    if not os.path.exists(scenario_command.command_path()):
        result.skipped = f"no trovik command at {scenario_command.command_path()}"
        return result
    with fixtures.scratch("scale") as scratch:
        root = os.path.join(scratch, "runs")
        cache = os.path.join(scratch, "cache")
        size = run_files.write_runs(root, RUNS, 10)
        grown = os.path.join(root, "runs", sorted(os.listdir(os.path.join(root, "runs")))[0])
        appended: list = []

        def empty_cache():
            shutil.rmtree(cache, ignore_errors=True)

        def grow_one_run():
            with open(grown) as f:
                last = f.read().splitlines()[-1]
            text = "".join(last + "\n" for _ in range(1000))
            with open(grown, "a") as f:
                f.write(text)
            appended.append(len(text))

        peaks = {"no cache": [], "unchanged": []}
        reads: list = []
        with fixtures.environment(XDG_CACHE_HOME=cache):
            _ls_trial(root)()  # the cache as the last ls left it
            variants = {
                "ls --no-cache": _ls_trial(root, "--no-cache", peaks=peaks["no cache"]),
                "ls, empty cache": _ls_trial(root, before=empty_cache),
                "ls, unchanged since the last ls": _ls_trial(root, peaks=peaks["unchanged"]),
                "ls, one run grew by 1,000 records": _ls_trial(root, before=grow_one_run,
                                                               reads=reads),
            }
            result.samples = harness.interleave(variants, TRIALS)
        cache_size = sum(os.path.getsize(os.path.join(dirpath, name))
                         for dirpath, _, names in os.walk(cache) for name in names)
    result.compare("ls, empty cache", "ls --no-cache", "<=", 1.1)
    result.compare("ls, unchanged since the last ls", "ls --no-cache")
    result.compare("ls, one run grew by 1,000 records", "ls --no-cache")
    unchanged = result.summary("ls, unchanged since the last ls")
    result.notes.append(f"unchanged: median {unchanged.median:.3f} s "
                        f"({'within' if unchanged.median <= 0.3 else 'OVER'} the 0.3 s budget)")
    for name, figures in peaks.items():
        peak = max(figures) if figures else 0
        result.notes.append(f"peak memory, {name}: {peak / 2**20:.0f} MB "
                            f"({'within' if peak <= 128 * 2**20 else 'OVER'} 128 MB)")
    read = max(reads) if reads else 0
    result.notes.append(f"after the growth: {read / 2**20:.1f} MB read, of which "
                        f"{max(appended) / 2**20:.2f} MB appended records and at most "
                        f"{cache_size / 2**20:.0f} MB cache (runs: {size / 2**20:.0f} MB)")
    result.notes.append(f"cache: {cache_size / RUNS:.0f} bytes per run")
    return result
