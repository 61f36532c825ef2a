"""Experiment() against `git status` of the same tree, in repositories generated here of many small
files (50,000 by default; TROVIK_BENCH_FILES sets another count):

- snapshot_scale: one modified file, so every call makes a snapshot. The index it is built in
  starts as a copy of the user's, so `add --all` reads only the changed file; the shell script
  that starts from HEAD alone (as before) is timed alongside for the before/after figure.
- clean_rerun: a clean tree whose root directory lies inside it, after a first run: the root
  directory ignores itself, so later runs find the tree clean and make no snapshot.
- large_untracked: a 1 GiB untracked file (sparse, so generating it costs nothing) next to one
  modified file; it is left out of the snapshot, never read, and .git does not grow by its size.
"""

from __future__ import annotations

import os
import subprocess
import time
import uuid

import fixtures
import harness

TRIALS = 7
CALLS = 2
LARGE_BYTES = 1 << 30
SCRIPT_FROM_HEAD = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                "snapshot_from_head.sh")


def file_count() -> int:
    return int(os.environ.get("TROVIK_BENCH_FILES", "50000"))


def make_repository(path: str, files: int) -> None:
    """`files` small files in directories of 100, committed, their times an hour back so that no
    index entry is racily clean (git would re-read those on every status)."""
    contents = {f"d{i // 100:04d}/f{i % 100:02d}.py": f"value = {i}\n" for i in range(files)}
    os.makedirs(path)
    fixtures.git(path, "init", "-q", "--initial-branch=main")
    fixtures.write_files(path, contents)
    past = time.time() - 3600
    for relative in contents:
        os.utime(os.path.join(path, relative), (past, past))
    fixtures.git(path, "add", "--all")
    fixtures.git(path, "commit", "-q", "-m", "initial")


def git_status(repo: str):
    """The probe's status query, with the module's environment (no optional locks)."""
    environment = dict(os.environ, GIT_OPTIONAL_LOCKS="0")

    def call() -> None:
        subprocess.run(("git", "status", "--porcelain", "--ignore-submodules"), cwd=repo,
                       env=environment, check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    return call


def snapshot_from_head() -> None:
    done = subprocess.run(("sh", SCRIPT_FROM_HEAD, str(uuid.uuid4())), stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if done.returncode != 0:
        raise RuntimeError(f"snapshot script failed ({done.returncode})")


def git_directory_bytes(repo: str) -> int:
    total = 0
    for directory, _, names in os.walk(os.path.join(repo, ".git")):
        total += sum(os.lstat(os.path.join(directory, name)).st_size for name in names)
    return total


def experiment_call(trovik, expect_snapshot: bool):
    def call() -> None:
        run = trovik.Experiment("bench-snapshot")
        value = fixtures.read_records(run.path)[0]["value"]["git"]
        if (value["branch"] == f"run/{run.run_id}") != expect_snapshot:
            raise RuntimeError(f"unexpected git value: {value}")

    return call


def run_modified(trovik) -> harness.ScenarioResult:
    files = file_count()
    result = harness.ScenarioResult(
        "snapshot_scale", f"Experiment() in a {files:,}-file tree with one modified file", "s")
    with fixtures.scratch("scale") as root:
        repo = os.path.join(root, "repo")
        make_repository(repo, files)
        fixtures.write_files(repo, {"d0000/f00.py": "value = 'changed'\n"})
        with fixtures.environment(cwd=repo, TROVIK_DIR=None, HOSTNAME=None,
                                  **fixtures.GIT_IDENTITY):
            result.samples = harness.interleave({
                "Experiment()": harness.timed_loop(experiment_call(trovik, True), CALLS),
                "git status": harness.timed_loop(git_status(repo), CALLS),
                "snapshot from HEAD alone (before)": harness.timed_loop(snapshot_from_head, 1),
            }, TRIALS)
    result.compare("Experiment()", "git status", "<=", 4.0)
    result.compare("snapshot from HEAD alone (before)", "git status")
    result.notes.append(f"{files:,} tracked files, one modified; root directory .trovik inside "
                        "the tree")
    return result


def run_clean_rerun(trovik) -> harness.ScenarioResult:
    files = file_count()
    result = harness.ScenarioResult(
        "clean_rerun", f"Experiment() after a first run in a clean {files:,}-file tree", "s")
    with fixtures.scratch("clean") as root:
        repo = os.path.join(root, "repo")
        make_repository(repo, files)
        with fixtures.environment(cwd=repo, TROVIK_DIR=None, HOSTNAME=None,
                                  **fixtures.GIT_IDENTITY):
            experiment_call(trovik, False)()  # the first run creates .trovik
            result.samples = harness.interleave({
                "Experiment()": harness.timed_loop(experiment_call(trovik, False), CALLS),
                "git status": harness.timed_loop(git_status(repo), CALLS),
            }, TRIALS)
    result.compare("Experiment()", "git status", "<=", 1.5)
    result.notes.append("root directory .trovik inside the tree, holding earlier run files")
    return result


def run_large_untracked(trovik) -> harness.ScenarioResult:
    files = min(file_count(), 10000)
    result = harness.ScenarioResult(
        "large_untracked", f"Experiment() next to a 1 GiB untracked file ({files:,} files)", "s")
    with fixtures.scratch("large") as root:
        repo = os.path.join(root, "repo")
        make_repository(repo, files)
        fixtures.write_files(repo, {"d0000/f00.py": "value = 'changed'\n"})
        with open(os.path.join(repo, "checkpoint.pt"), "wb") as handle:
            handle.truncate(LARGE_BYTES)
        before = git_directory_bytes(repo)
        with fixtures.environment(cwd=repo, TROVIK_DIR=None, HOSTNAME=None,
                                  **fixtures.GIT_IDENTITY):
            result.samples = harness.interleave({
                "Experiment()": harness.timed_loop(experiment_call(trovik, True), CALLS),
                "git status": harness.timed_loop(git_status(repo), CALLS),
            }, TRIALS)
        grown = git_directory_bytes(repo) - before
        calls = (TRIALS + 1) * CALLS
        if grown > LARGE_BYTES // 100:
            raise RuntimeError(f".git grew by {grown} bytes over {calls} snapshots")
        result.notes.append(f".git grew by {grown / 1024:.0f} KiB over {calls} snapshots")
    result.compare("Experiment()", "git status", "<=", 4.0)
    return result
