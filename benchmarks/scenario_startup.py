"""Experiment() in a clean repository: four git queries and hostname, against the same five child
programs started through subprocess.run; then the same in a process that holds 4 GiB of touched
memory, where a fork-based start would pay for copying the page tables.

Both measurements live in worker processes that stay up for the whole scenario, a small one and a
large one, driven one trial at a time in turn, so the small/large comparison is interleaved like
every other.
"""

from __future__ import annotations

import json
import os
import subprocess
import sys

import fixtures
import harness

HOLD_GIB = 4
CALLS_PER_TRIAL = 4
TRIALS = 21
WORKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "worker.py")


class Worker:
    def __init__(self, repo: str, trovik_dir: str, hold_gib: float):
        self.process = subprocess.Popen(
            (sys.executable, WORKER, "startup", "--repo", repo, "--trovik-dir", trovik_dir,
             "--hold-gib", str(hold_gib)),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.ready = self._answer()

    def _answer(self) -> dict:
        line = self.process.stdout.readline()
        if not line:
            raise RuntimeError(f"startup worker ended early (exit {self.process.wait()})")
        return json.loads(line)

    def trial(self, index: int) -> dict:
        self.process.stdin.write(f"trial {index} {CALLS_PER_TRIAL}\n")
        self.process.stdin.flush()
        return self._answer()

    def close(self) -> None:
        if self.process.poll() is None:
            self.process.stdin.write("quit\n")
            self.process.stdin.close()
        self.process.wait()


def run(trovik) -> harness.ScenarioResult:
    del trovik  # measured in the workers
    result = harness.ScenarioResult("startup_clean", "Experiment() in a clean repository", "s")
    with fixtures.scratch("startup") as root:
        repo = os.path.join(root, "repo")
        fixtures.init_repository(repo, {
            "train.py": "print('train')\n",
            "README.md": "# model\n",
            "src/model.py": "class Model:\n    pass\n",
        })
        trovik_dir = os.path.join(root, "out")  # outside the work tree: the tree stays clean
        workers = {}
        try:
            workers["small"] = Worker(repo, trovik_dir, 0)
            workers["large"] = Worker(repo, trovik_dir, HOLD_GIB)
            for name, worker in workers.items():
                git_value = worker.ready["git"]
                if not git_value or git_value["dirty"]:
                    raise RuntimeError(f"{name} worker did not see a clean work tree: {git_value}")
            # Interleaved at the trial level: small, large, then large, small, and so on.
            samples = {}
            for index in range(1 + TRIALS):
                order = ["small", "large"] if index % 2 == 0 else ["large", "small"]
                figures = {name: workers[name].trial(index) for name in order}
                if index == 0:
                    continue  # warm-up
                for size in ("small", "large"):
                    for variant, seconds in figures[size].items():
                        samples.setdefault(f"{variant} [{size}]", []).append(seconds)
            rss = {name: worker.ready["rss_kib"] for name, worker in workers.items()}
        finally:
            for worker in workers.values():
                worker.close()

    result.samples = samples
    result.compare("Experiment() [small]", "subprocess.run [small]", "<=", 1.0)
    result.compare("Experiment() [large]", "subprocess.run [large]")
    result.compare("Experiment() [large]", "Experiment() [small]", "<=", 1.2)
    result.notes.append(f"resident set: small worker {rss['small'] / 1024:.0f} MiB, large worker "
                        f"{rss['large'] / 1024 / 1024:.2f} GiB; HOSTNAME unset in both")
    result.notes.append(f"{CALLS_PER_TRIAL} calls per trial, {TRIALS} trials")
    return result
