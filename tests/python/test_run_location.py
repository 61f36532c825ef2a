"""A run's records all go to its one file, whatever the process's working directory is later."""

import os
import threading

import pytest

from conftest import read_records


def run_files(top):
    return sorted(str(p.relative_to(top)) for p in top.rglob("*.jsonl"))


@pytest.mark.parametrize("trovik_dir", [None, "rel/root", "", "./x/../y/"])
def test_changing_directory_keeps_one_run_file(trovik, workdir, tmp_path, monkeypatch,
                                               trovik_dir):
    if trovik_dir is not None:
        monkeypatch.setenv("TROVIK_DIR", trovik_dir)
    (workdir / "x").mkdir()
    run = trovik.Experiment("chdir")
    built = run.path
    assert not os.path.isabs(built)
    elsewhere = tmp_path / "elsewhere" / "deeper"
    elsewhere.mkdir(parents=True)
    os.chdir(elsewhere)
    run.track(1)
    os.chdir(tmp_path)
    run.track(2)
    assert run.path == built, "the path is kept exactly as built"
    os.chdir(workdir)
    assert [r["value"] for r in read_records(built)[1:]] == [1, 2]
    assert run_files(tmp_path) == [str((workdir / built).resolve().relative_to(tmp_path))]


def test_directory_with_its_own_runs_gets_nothing(trovik, workdir, tmp_path):
    run = trovik.Experiment("first")
    other = tmp_path / "other"
    (other / ".trovik" / "runs").mkdir(parents=True)
    os.chdir(other)
    second = trovik.Experiment("second")  # a run made here belongs here
    run.track("to the first run")
    second.track("to the second run")
    assert read_records(workdir / run.path)[-1]["value"] == "to the first run"
    assert read_records(other / second.path)[-1]["value"] == "to the second run"
    assert len(os.listdir(other / ".trovik" / "runs")) == 1


def test_threads_and_a_forked_child_that_change_directory(trovik, workdir, tmp_path):
    run = trovik.Experiment("moving")
    places = [tmp_path / f"place{i}" for i in range(3)]
    for place in places:
        place.mkdir()

    def work(index):
        for i in range(100):
            os.chdir(places[(index + i) % len(places)])
            run.track({"thread": index, "i": i})

    threads = [threading.Thread(target=work, args=(n,)) for n in range(3)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    pid = os.fork()
    if pid == 0:
        code = 1
        try:
            os.chdir(places[0])
            run.track("child")
            code = 0
        finally:
            os._exit(code)
    assert os.waitpid(pid, 0)[1] == 0
    os.chdir(workdir)
    records = read_records(run.path)
    assert len(records) == 1 + 300 + 1 and records[-1]["value"] == "child"
    assert run_files(tmp_path) == [str((workdir / run.path).resolve().relative_to(tmp_path))]
