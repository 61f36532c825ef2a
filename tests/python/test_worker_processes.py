"""An Experiment handed to worker processes appends to the parent's run file, with the same run
id, name and path, and a clock that counts from the same start."""

import concurrent.futures
import copy
import multiprocessing
import os
import pickle
import time

import pytest

from conftest import read_records

WORKERS, RECORDS = 3, 1000
FIELDS = ["layout", "run_id", "name", "path", "location", "start_s", "start_ns", "wall_s",
          "wall_ns", "boot_id"]


def track_many(run, worker):
    for i in range(RECORDS):
        run.track({"worker": worker, "i": i})
    return run.run_id, run.name, run.path


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
    assert os.listdir(os.path.dirname(run.path)) == [os.path.basename(run.path)]
    records = read_records(run.path)  # every line whole
    assert records[0]["kind"] == "run_start" and len(records) == 1 + WORKERS * RECORDS
    for worker in range(WORKERS):
        mine = [r for r in records[1:] if r["value"]["worker"] == worker]
        assert [r["value"]["i"] for r in mine] == list(range(RECORDS))
        elapsed = [records[0]["elapsed_ms"]] + [r["elapsed_ms"] for r in mine]
        assert elapsed == sorted(elapsed)


def test_copies_append_to_the_run_and_unpickling_writes_nothing(trovik, workdir, tmp_path):
    run = trovik.Experiment(" spaced ")
    copies = [pickle.loads(pickle.dumps(run, protocol=p)) for p in range(pickle.HIGHEST_PROTOCOL + 1)]
    copies += [copy.copy(run), copy.deepcopy([run])[0]]
    assert {(c.run_id, c.name, c.path) for c in copies} == {(run.run_id, run.name, run.path)}
    assert read_records(run.path)[-1]["kind"] == "run_start" and len(os.listdir(".trovik/runs")) == 1
    os.chdir(tmp_path)
    for n, c in enumerate(copies):
        c.track(n)
    os.chdir(workdir)
    assert [r["value"] for r in read_records(run.path)[1:]] == list(range(len(copies)))


def restored(run, **changes):
    restore, fields = run.__reduce__()
    fields = list(fields)
    for key, value in changes.items():
        fields[FIELDS.index(key)] = value
    return restore(*fields)


@pytest.mark.parametrize("boot_id, at_least", [(None, 0), ("another boot", 3600_000), ("", 3600_000)])
def test_another_boot_counts_from_the_wall_clock_start(trovik, root, boot_id, at_least):
    run = trovik.Experiment("boots")
    changes = {"wall_s": int(time.time()) - 3600}
    if boot_id is not None:
        changes["boot_id"] = boot_id
    restored(run, **changes).track("x")
    elapsed = read_records(run.path)[-1]["elapsed_ms"]
    assert at_least <= elapsed < at_least + 600_000


@pytest.mark.parametrize(
    "changes, error, message",
    [
        ({"run_id": "not-a-run-id"}, ValueError, "has a malformed run id"),
        ({"run_id": 5}, TypeError, "field 'run_id' must be str, not 'int'"),
        ({"name": " \t"}, ValueError, "has an empty name"),
        ({"path": "/etc/passwd"}, ValueError, "has a path that is not its run file"),
        ({"location": "/x/runs/a.jsonl"}, TypeError, "field 'location' must be bytes, not 'str'"),
        ({"location": b"relative.jsonl"}, ValueError, "has a location that is not its run file"),
        ({"start_ns": 10**9}, ValueError, "has an invalid start time"),
        ({"wall_s": -1}, ValueError, "has an invalid start time"),
        ({"start_s": 10**30}, ValueError, "field 'start seconds' is out of range"),
        ({"layout": 2}, ValueError, "has an unknown layout 2"),
    ],
    ids=lambda v: str(v)[:30],
)
def test_invalid_pickled_data_is_refused(trovik, root, changes, error, message):
    run = trovik.Experiment("refused")
    with pytest.raises(error) as caught:
        restored(run, **changes)
    assert caught.value.args == ("pickled experiment " + message,)
    with pytest.raises(ValueError):  # a NUL would let open() reach another file
        restored(run, location=b"/tmp\0" + run.__reduce__()[1][4])
    with pytest.raises(TypeError) as caught:
        trovik._restore(*range(11))
    assert caught.value.args == ("pickled experiment must have 10 fields, not 11",)
    assert len(read_records(run.path)) == 1
