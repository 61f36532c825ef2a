"""Many writers on one run file: forked processes that share one Experiment, and threads that share
one object. Every line must parse, nothing may be lost, doubled, torn or interleaved, and each
writer's records must keep their order."""

import json
import os
import random
import shutil
import sys
import tempfile
import threading
from pathlib import Path

import pytest

from test_reliability_support import (
    git,
    isolated_git_environment,
    make_repository,
    padding,
    read_run_file,
    scaled,
)

# Record payloads span roughly 1 KB to 64 KB of JSON text: the line feed and the non-ASCII
# character in the padding take two bytes each on the line, so characters are fewer than bytes.
MIN_PAD, MAX_PAD = 600, 40_000


def payload_sizes(writer, count):
    rng = random.Random(f"writer {writer}")
    return [rng.randint(MIN_PAD, MAX_PAD) for _ in range(count)]


def payload(writer, index, size):
    return {"w": writer, "i": index, "pad": padding(f"{writer}.{index}", size)}


def write_records(run, writer, count):
    for index, size in enumerate(payload_sizes(writer, count)):
        run.track(payload(writer, index, size), note=f"writer {writer}")


def check_run_file(path, writers, count):
    """Every line whole and parseable, each writer's records complete, in order, and exact."""
    sizes = {writer: payload_sizes(writer, count) for writer in range(writers)}
    next_index = dict.fromkeys(range(writers), 0)
    lines = 0
    with open(path, "rb") as f:
        for number, line in enumerate(f):
            assert line.endswith(b"\n"), f"line {number + 1} has no line feed"
            record = json.loads(line)
            lines += 1
            if number == 0:
                assert record["kind"] == "run_start"
                continue
            assert record["kind"] == "track"
            value = record["value"]
            writer, index = value["w"], value["i"]
            assert record["note"] == f"writer {writer}"
            assert index == next_index[writer], f"writer {writer}: record {index} out of order"
            assert value["pad"] == padding(f"{writer}.{index}", sizes[writer][index])
            next_index[writer] += 1
    assert lines == 1 + writers * count
    assert all(done == count for done in next_index.values())


@pytest.fixture(params=["default", "tmpfs"])
def storage(request, tmp_path):
    """A directory on the default file system of the tests, or on tmpfs."""
    if request.param == "default":
        yield tmp_path
        return
    if not os.path.isdir("/dev/shm"):
        pytest.fail("/dev/shm is not available on this machine")
    path = Path(tempfile.mkdtemp(prefix="trovik-test-", dir="/dev/shm"))
    try:
        yield path
    finally:
        shutil.rmtree(path)


def test_stress_forked_processes_share_one_run_file(trovik, workdir, monkeypatch, storage):
    writers, count = scaled((4, 300), (8, 10_000))
    monkeypatch.setenv("TROVIK_DIR", str(storage / "root"))
    run = trovik.Experiment("processes")

    children = []
    for writer in range(writers):
        pid = os.fork()
        if pid == 0:
            code = 1
            try:
                write_records(run, writer, count)
                code = 0
            finally:
                os._exit(code)
        children.append(pid)
    for pid in children:
        _, status = os.waitpid(pid, 0)
        assert os.waitstatus_to_exitcode(status) == 0

    check_run_file(run.path, writers, count)


def test_stress_threads_share_one_experiment(trovik, root):
    writers, count = scaled((4, 500), (8, 10_000))
    run = trovik.Experiment("threads")
    start = threading.Barrier(writers)
    failures = []

    def work(writer):
        try:
            start.wait()
            write_records(run, writer, count)
        except BaseException as error:  # noqa: B036 - reported below, with the thread's name
            failures.append((writer, error))

    # Switch as often as the interpreter allows, so json.dumps of one thread is interrupted by the
    # appends of the others.
    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        threads = [threading.Thread(target=work, args=(writer,)) for writer in range(writers)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(interval)

    assert failures == []
    check_run_file(run.path, writers, count)


def test_stress_processes_start_runs_in_one_dirty_repository(trovik, tmp_path, monkeypatch):
    """A sweep: several processes start runs in the same dirty work tree at once. Each run gets
    its own snapshot branch, all of the same tree, and the user's index stays as it was."""
    writers, count = scaled((4, 3), (8, 20))
    for key, value in isolated_git_environment(str(tmp_path)).items():
        monkeypatch.setenv(key, value)
    top = make_repository(str(tmp_path / "repo"), {"train.py": "lr = 1\n", "data.py": "x\n"})
    with open(os.path.join(top, "train.py"), "w") as f:
        f.write("lr = 2\n")
    # Time stamps in the past and a refreshed index: git status then has nothing to write.
    past = os.stat(top).st_mtime - 3600
    for name in ("train.py", "data.py"):
        os.utime(os.path.join(top, name), (past, past))
    git(top, "update-index", "-q", "--refresh", "--really-refresh")
    git(top, "status", "--porcelain")
    temporary = tmp_path / "tmp"
    temporary.mkdir()
    monkeypatch.setenv("TMPDIR", str(temporary))
    monkeypatch.setenv("TROVIK_DIR", str(tmp_path / "root"))
    monkeypatch.chdir(top)
    head = git(top, "rev-parse", "HEAD")
    with open(os.path.join(top, ".git", "index"), "rb") as f:
        index = f.read()

    children = []
    for writer in range(writers):
        pid = os.fork()
        if pid == 0:
            code = 1
            try:
                for _ in range(count):
                    trovik.Experiment(f"sweep {writer}")
                code = 0
            finally:
                os._exit(code)
        children.append(pid)
    for pid in children:
        _, status = os.waitpid(pid, 0)
        assert os.waitstatus_to_exitcode(status) == 0

    runs = tmp_path / "root" / "runs"
    run_ids = sorted(name[: -len(".jsonl")] for name in os.listdir(runs))
    assert len(run_ids) == writers * count
    refs = dict(line.split() for line in git(
        top, "for-each-ref", "--format=%(refname:short) %(objectname)", "refs/heads/run"
    ).splitlines())
    assert sorted(refs) == [f"run/{run_id}" for run_id in run_ids]
    for run_id in run_ids:
        (record,) = read_run_file(runs / f"{run_id}.jsonl")
        branch = f"run/{run_id}"
        assert record["value"]["git"] == {"branch": branch, "commit": refs[branch], "dirty": True}
    trees = {git(top, "rev-parse", f"{commit}^{{tree}}") for commit in refs.values()}
    parents = {git(top, "rev-parse", f"{commit}^") for commit in refs.values()}
    assert len(trees) == 1 and parents == {head}
    assert git(top, "show", f"{trees.pop()}:train.py") == "lr = 2"
    assert list(temporary.iterdir()) == []
    with open(os.path.join(top, ".git", "index"), "rb") as f:
        assert f.read() == index, "the user's index changed"
    assert git(top, "rev-parse", "HEAD") == head
    assert git(top, "symbolic-ref", "HEAD") == "refs/heads/main"
