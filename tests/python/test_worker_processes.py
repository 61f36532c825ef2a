"""An Experiment passed to worker processes (pickled, or inherited through fork) appends to the
parent's run file, with the same run id, name and path and a clock that counts from the same
start."""

import concurrent.futures
import copy
import multiprocessing
import os
import pickle
import time

import pytest

from conftest import read_records

WORKERS, RECORDS = 3, 1000


def track_many(run, worker):
    for i in range(RECORDS):
        run.track({"worker": worker, "i": i})
    return run.run_id, run.name, run.path


def check_run_file(run, workers):
    runs = os.path.dirname(run.path)
    assert os.listdir(runs) == [os.path.basename(run.path)]
    records = read_records(run.path)  # every line whole JSON, ending in a line feed
    assert records[0]["kind"] == "run_start"
    assert {r["run_id"] for r in records} == {run.run_id}
    for worker in range(workers):
        mine = [r for r in records[1:] if r["value"]["worker"] == worker]
        assert [r["value"]["i"] for r in mine] == list(range(RECORDS))
        elapsed = [r["elapsed_ms"] for r in mine]
        assert elapsed == sorted(elapsed)
        assert elapsed[0] >= records[0]["elapsed_ms"]
    assert len(records) == 1 + workers * RECORDS


@pytest.mark.parametrize("method", ["fork", "spawn", "forkserver", "executor"])
def test_workers_append_to_the_parents_run(trovik, workdir, monkeypatch, method):
    monkeypatch.setenv("TROVIK_DIR", "relative-root")
    run = trovik.Experiment("workers")
    if method == "executor":
        context = multiprocessing.get_context("spawn")
        with concurrent.futures.ProcessPoolExecutor(WORKERS, mp_context=context) as pool:
            results = list(pool.map(track_many, [run] * WORKERS, range(WORKERS)))
    else:
        with multiprocessing.get_context(method).Pool(WORKERS) as pool:
            results = pool.starmap(track_many, [(run, w) for w in range(WORKERS)])
    assert results == [(run.run_id, run.name, run.path)] * WORKERS
    check_run_file(run, WORKERS)


def test_copies_share_the_run(trovik, workdir, tmp_path):
    run = trovik.Experiment(" spaced name ", metadata={"k": 1})
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        restored = pickle.loads(pickle.dumps(run, protocol=protocol))
        assert type(restored) is trovik.Experiment
        assert (restored.run_id, restored.name, restored.path) == (run.run_id, run.name, run.path)
    copies = [copy.copy(run), copy.deepcopy(run), copy.deepcopy([run])[0]]
    assert all(c is not run for c in copies)
    os.chdir(tmp_path)  # the copies append to the run file, not relative to the new directory
    for n, c in enumerate(copies):
        c.track(n)
    os.chdir(workdir)
    assert [r["value"] for r in read_records(run.path)[1:]] == [0, 1, 2]


def test_unpickling_writes_nothing_and_runs_nothing(trovik, workdir, tmp_path, monkeypatch):
    run = trovik.Experiment("quiet")
    data = pickle.dumps(run)
    runs = workdir / ".trovik" / "runs"
    before = {p.name: p.read_bytes() for p in runs.iterdir()}
    # Any program run from here on leaves a mark.
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    for program in ("git", "hostname"):
        (bin_dir / program).write_text(f"#!/bin/sh\ntouch {tmp_path}/ran-{program}\n")
        (bin_dir / program).chmod(0o755)
    monkeypatch.setenv("PATH", str(bin_dir))
    restored = [pickle.loads(data) for _ in range(50)]
    assert {r.run_id for r in restored} == {run.run_id}
    assert {p.name: p.read_bytes() for p in runs.iterdir()} == before
    assert not list(tmp_path.glob("ran-*"))


def reduced(run, **changes):
    restore, fields = run.__reduce__()
    fields = list(fields)
    names = ["layout", "run_id", "name", "path", "location", "start_s", "start_ns", "wall_s",
             "wall_ns", "boot_id"]
    for key, value in changes.items():
        fields[names.index(key)] = value
    return restore, tuple(fields)


def elapsed_of_copy(trovik, run, **changes):
    restore, fields = reduced(run, **changes)
    copy_ = restore(*fields)
    copy_.track("x")
    return read_records(run.path)[-1]["elapsed_ms"]


def test_another_boot_measures_from_the_wall_clock(trovik, root):
    run = trovik.Experiment("boots")
    an_hour_ago = int(time.time()) - 3600
    # Same boot: the monotonic start is kept, whatever the wall clock said.
    same = elapsed_of_copy(trovik, run, wall_s=an_hour_ago)
    assert same < 600_000
    # Another boot (or machine): its monotonic start means nothing here; the run began an hour ago.
    other = elapsed_of_copy(trovik, run, wall_s=an_hour_ago, boot_id="another-boot")
    assert 3_600_000 <= other < 4_200_000
    unknown = elapsed_of_copy(trovik, run, wall_s=an_hour_ago, boot_id="")
    assert 3_600_000 <= unknown < 4_200_000


@pytest.mark.parametrize(
    "changes, error, message",
    [
        ({"run_id": "not-a-run-id"}, ValueError, "pickled experiment has a malformed run id"),
        ({"run_id": 5}, TypeError, "pickled experiment field 'run_id' must be str, not 'int'"),
        ({"name": " \t"}, ValueError, "pickled experiment has an empty name"),
        ({"name": None}, TypeError, "pickled experiment field 'name' must be str, not 'NoneType'"),
        ({"path": "/etc/passwd"}, ValueError, "pickled experiment has a path that is not its run file"),
        ({"location": "/abs/runs/x.jsonl"}, TypeError,
         "pickled experiment field 'location' must be bytes, not 'str'"),
        ({"location": b"relative/elsewhere.jsonl"}, ValueError,
         "pickled experiment has a location that is not its run file"),
        ({"start_ns": 10**9}, ValueError, "pickled experiment has an invalid start time"),
        ({"wall_s": -1}, ValueError, "pickled experiment has an invalid start time"),
        ({"start_s": 10**30}, ValueError,
         "pickled experiment field 'start seconds' is out of range"),
        ({"layout": 2}, ValueError, "pickled experiment has an unknown layout 2"),
        ({"boot_id": b"x"}, TypeError, "pickled experiment field 'boot_id' must be str, not 'bytes'"),
    ],
    ids=lambda v: str(v)[:40],
)
def test_invalid_pickled_data_is_refused(trovik, root, changes, error, message):
    run = trovik.Experiment("refused")
    restore, fields = reduced(run, **changes)
    with pytest.raises(error) as caught:
        restore(*fields)
    assert caught.value.args == (message,)
    assert len(read_records(run.path)) == 1


@pytest.mark.parametrize("fields", [(), (1,), tuple(range(11))], ids=len)
def test_wrong_number_of_fields(trovik, fields):
    with pytest.raises(TypeError) as caught:
        trovik._restore(*fields)
    assert caught.value.args == (f"pickled experiment must have 10 fields, not {len(fields)}",)


def test_location_with_a_nul_byte_is_refused(trovik, root):
    run = trovik.Experiment("nul")
    restore, fields = reduced(run)
    location = fields[4]
    with pytest.raises(ValueError):
        restore(*reduced(run, location=b"/tmp\0" + location)[1])
    assert restore(*fields).run_id == run.run_id
