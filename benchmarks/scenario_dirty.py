"""Experiment() in a dirty work tree of 1,000 changed small files (500 modified, 500 untracked),
against a shell script that runs the same git commands (probe, snapshot in a private index) and
hostname.

Each timed call gets a fresh copy of the same repository, so every call hashes the same 1,000 new
blobs into an object store that does not hold them yet, and no call inherits refs or loose objects
from an earlier one.
"""

from __future__ import annotations

import os
import shutil
import subprocess
import uuid

import fixtures
import harness

TRACKED = 500
UNTRACKED = 500
TRIALS = 7
SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "snapshot_commands.sh")


def _source(index: int, extra: str = "") -> str:
    return f"# module {index}\ndef f{index}(x):\n    return x * {index}\n{extra}"


def make_template(path: str) -> None:
    fixtures.init_repository(path, {f"src/m{i:04d}.py": _source(i) for i in range(TRACKED)})
    fixtures.write_files(path, {f"src/m{i:04d}.py": _source(i, f"# edited {i}\n")
                                for i in range(TRACKED)})
    fixtures.write_files(path, {f"data/n{i:04d}.txt": f"sample {i}\n" * 4
                                for i in range(UNTRACKED)})


def run(trovik) -> harness.ScenarioResult:
    result = harness.ScenarioResult("startup_dirty",
                                    "Experiment() in a dirty tree of 1,000 changed files", "s")
    with fixtures.scratch("dirty") as root:
        template = os.path.join(root, "template")
        make_template(template)
        # GIT_OPTIONAL_LOCKS=0: the count must not refresh the template's index.
        changed = fixtures.git(template, "status", "--porcelain", "--untracked-files=all",
                               env={"GIT_OPTIONAL_LOCKS": "0"}).count("\n") + 1
        work = os.path.join(root, "work")

        def fresh_copy() -> None:
            os.chdir(root)
            shutil.rmtree(work, ignore_errors=True)
            shutil.copytree(template, work, symlinks=True)
            os.chdir(work)

        last = {}

        def experiment() -> None:
            last["exp"] = trovik.Experiment("bench-dirty")

        def script() -> None:
            run_id = str(uuid.uuid4())
            done = subprocess.run(("sh", SCRIPT, run_id), stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if done.returncode != 0 or f"run/{run_id}" not in done.stdout.decode():
                raise RuntimeError(f"snapshot script failed ({done.returncode}): {done.stdout!r}")

        # TROVIK_DIR unset: runs go to .trovik inside the tree, so the snapshot's reset step runs.
        with fixtures.environment(cwd=root, TROVIK_DIR=None, HOSTNAME=None,
                                  **fixtures.GIT_IDENTITY):
            fresh_copy()
            experiment()
            git_value = fixtures.read_records(last["exp"].path)[0]["value"]["git"]
            if git_value["branch"] != f"run/{last['exp'].run_id}":
                raise RuntimeError(f"Experiment() made no snapshot: {git_value}")
            result.samples = harness.interleave({
                "Experiment()": harness.timed_each(experiment, 1, fresh_copy),
                "shell script": harness.timed_each(script, 1, fresh_copy),
            }, TRIALS)
            os.chdir(root)

    result.compare("Experiment()", "shell script", "<=", 1.1)
    result.notes.append(f"{changed} changed files; one call per trial, {TRIALS} trials, each on a "
                        "fresh copy of the repository")
    return result
