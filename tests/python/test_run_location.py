"""A run's records all go to its one file, whatever the working directory is later."""

import os
import threading

import pytest

from conftest import read_records


@pytest.mark.parametrize("trovik_dir", [None, "rel/root", "", "./x/../y/"])
def test_changing_directory_keeps_one_run_file(trovik, workdir, tmp_path, monkeypatch,
                                               trovik_dir):
    if trovik_dir is not None:
        monkeypatch.setenv("TROVIK_DIR", trovik_dir)
    (workdir / "x").mkdir()
    run = trovik.Experiment("moving")
    built = run.path
    places = [tmp_path / f"place{i}" for i in range(3)]
    for place in places:
        (place / ".trovik" / "runs").mkdir(parents=True)

    def work(index):
        for i in range(50):
            os.chdir(places[(index + i) % len(places)])
            run.track(index)

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
    assert run.path == built and not os.path.isabs(built)
    assert len(read_records(built)) == 1 + 150 + 1
    files = sorted(str(p.relative_to(tmp_path)) for p in tmp_path.rglob("*.jsonl"))
    assert files == [str((workdir / built).resolve().relative_to(tmp_path))]
