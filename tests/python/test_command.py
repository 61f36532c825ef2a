"""The `trovik` command run as a user would, on runs made by the module."""

import csv
import io
import json
import os
import subprocess
import sys
import time

import pytest

from conftest import run_python
from git_fixtures import git, git_environment, repository  # noqa: F401  (fixtures by name)


def command_path():
    return os.environ.get("TROVIK_COMMAND") or os.path.join(os.path.dirname(sys.executable), "trovik")


def trovik_cli(*args, check=True, cwd=None):
    result = subprocess.run([command_path(), *args], capture_output=True, text=True, cwd=cwd)
    if check and result.returncode != 0:
        raise AssertionError(f"trovik {' '.join(args)} exited {result.returncode}: {result.stderr}")
    return result


def cli_json(*args):
    return json.loads(trovik_cli(*args, "--json").stdout)


@pytest.fixture
def two_runs(root, trovik):
    """An older run with a note and a newer one with other metadata and one more series."""
    older = trovik.Experiment("train", {"lr": 0.1, "model": "mlp"})
    for step, loss in enumerate([3.0, 1.0, 2.0]):
        older.track({"step": step * 10, "val": {"loss": loss}}, note="best" if loss == 1.0 else None)
    newer = trovik.Experiment("train", {"lr": 0.01, "model": "mlp"})
    newer.track({"val": {"loss": 0.5}, "acc": 0.9})
    newer.track(7)
    return older, newer


def test_ls_json_lists_runs_newest_first(two_runs, root):
    older, newer = two_runs
    runs = cli_json("ls")
    assert [r["run_id"] for r in runs] == [newer.run_id, older.run_id]
    first = runs[0]
    assert set(first) == {"run_id", "name", "path", "status", "end", "created_at", "elapsed_ms",
                          "records", "torn", "git", "hostname", "metadata", "last"}
    assert (first["name"], first["records"], first["torn"], first["git"]) == ("train", 3, False, None)
    assert first["metadata"] == {"lr": 0.01, "model": "mlp"}
    assert first["last"] == {"val.loss": 0.5, "acc": 0.9, "value": 7}
    assert runs[1]["last"] == {"step": 20, "val.loss": 2.0}
    assert os.path.samefile(runs[1]["path"], older.path)


def test_damaged_file_is_read_as_it_is(two_runs):
    older, _ = two_runs
    with open(older.path, "ab") as f:
        f.write(b"not json\n")
    older.track({"val": {"loss": 0.25}})
    with open(older.path, "ab") as f:
        f.write(b'{"created_at":"2024')
    before = open(older.path, "rb").read()
    shown = cli_json("show", older.run_id[:6])
    assert (shown["records"], shown["torn"]) == (5, True)
    assert shown["series"]["val.loss"]["last"] == 0.25
    assert open(older.path, "rb").read() == before


def test_show_json_summarises_series_and_notes(two_runs):
    older, _ = two_runs
    shown = cli_json("show", "@2")
    assert shown["run_id"] == older.run_id
    assert shown["run_start"]["metadata"] == {"lr": 0.1, "model": "mlp"}
    assert shown["series"]["val.loss"] == {"count": 3, "first": 3.0, "last": 2.0, "min": 1.0,
                                           "min_step": 10, "max": 3.0, "max_step": 0}
    assert [n["note"] for n in shown["notes"]] == ["best"]
    assert isinstance(shown["notes"][0]["elapsed_ms"], int)


def test_compare_json_puts_runs_side_by_side(two_runs):
    older, newer = two_runs
    compared = cli_json("compare", older.run_id, "@1")
    assert compared["runs"] == [older.run_id, newer.run_id]
    assert compared["metadata"] == {"lr": [0.1, 0.01], "model": ["mlp", "mlp"]}
    assert compared["series"] == {"step": [20, None], "val.loss": [2.0, 0.5], "acc": [None, 0.9],
                                  "value": [None, 7]}
    table = trovik_cli("compare", older.run_id, newer.run_id).stdout
    assert "lr" in table and "model" not in table and "-0.09" in table


def test_ls_table_shows_only_differing_columns(two_runs, monkeypatch):
    monkeypatch.setenv("NO_COLOR", "1")
    out = trovik_cli("ls").stdout
    header = out.splitlines()[0].split()
    # The same name, host and (no) commit in both runs: left out, as an equal metadata key is.
    assert header[:3] == ["id", "status", "start"] and "records" in header
    assert not {"name", "git", "host", "model", "step"} & set(header)
    assert "lr" in header and header.index("lr") < header.index("val.loss")
    assert "\033[" not in out
    assert "model" in trovik_cli("ls", "--all").stdout.splitlines()[0]
    best = trovik_cli("ls", "--sort", "val.loss", "-n", "1").stdout.splitlines()
    assert len(best) == 2 and best[1].split()[0] == two_runs[1].run_id[:8]


@pytest.mark.parametrize("sort, expected", [("loss", ["low", "high"]), ("-loss", ["high", "low"])])
def test_ls_sorts_numbers_by_value_not_by_their_printed_digits(root, trovik, sort, expected):
    trovik.Experiment("low").track({"loss": 0.1234561})
    trovik.Experiment("high").track({"loss": 0.1234564})  # printed alike: 0.123456
    assert [r["name"] for r in cli_json("ls", f"--sort={sort}")] == expected


def test_export_writes_one_tidy_row_per_point(two_runs):
    older, newer = two_runs
    rows = list(csv.DictReader(io.StringIO(trovik_cli("export", "--format", "csv").stdout)))
    assert list(rows[0]) == ["run_id", "name", "step", "elapsed_ms", "created_at", "series", "value"]
    assert len(rows) == 3 * 2 + 2 + 1
    mine = [(r["step"], r["series"], float(r["value"])) for r in rows if r["run_id"] == older.run_id]
    assert ("10", "val.loss", 1.0) in mine and ("20", "step", 20.0) in mine
    lines = trovik_cli("export", newer.run_id, "--format", "ndjson").stdout.splitlines()
    assert [json.loads(line)["series"] for line in lines] == ["acc", "val.loss", "value"]


def make_named_runs(root, *ids):
    runs = root / "runs"
    runs.mkdir(parents=True, exist_ok=True)
    for run_id in ids:
        (runs / f"{run_id}.jsonl").write_text('{"kind":"track","value":1,"elapsed_ms":1}\n')


@pytest.mark.parametrize("args, status, message", [
    (["show", "zzzz"], 2, "unknown run 'zzzz'"),
    (["show", "abcd"], 2, ("ambiguous", "abcd0001", "abcd0002")),
    (["show", "abc"], 2, "too short"),
    (["show", "@9"], 2, "no run @9"),
    (["show"], 2, "run is required"),
    (["ls", "--sort", "nothing"], 2, "no column 'nothing'"),
    (["gc", "--older-than", "soon"], 2, "bad duration"),
    (["frobnicate"], 2, ""),
    (["export", "--format", "xml"], 2, ""),
    (["code", "abcd0001"], 1, "not made in a git work tree"),
    (["show", "abcd0001"], 0, None),
    (["show", "ABCD0001"], 0, None),
    (["--root", "no-such-dir", "ls"], 2, "not a directory"),
    (["--root", "trovik-root/runs/", "ls"], 2, "is a runs folder"),
    (["ls", "-n", "0"], 2, "-n must be at least 1"),
    (["ls", "-n", "-1"], 2, "-n must be at least 1"),
    (["tail", "-n", "0", "@1"], 2, "-n must be at least 1"),
    (["ls", "--name", "[ab"], 2, "not a valid glob"),
    (["code", "@1", "--checkout", ""], 2, "--checkout needs a directory"),
    (["ls", "--help"], 0, None),
])
def test_exit_status_and_error_line(root, args, status, message):
    make_named_runs(root, "abcd0001", "abcd0002")
    result = trovik_cli(*args, check=False)
    assert result.returncode == status, result.stderr
    if message is None:
        assert result.stderr == ""
    else:
        lines = result.stderr.splitlines()
        assert len(lines) == 1 and lines[0].startswith("trovik: ")
        for part in message if isinstance(message, tuple) else (message,):
            assert part in lines[0]


def read_until(stream, wanted, deadline_seconds=10):
    """Lines from a non-blocking pipe until one contains `wanted` or the deadline passes."""
    seen = b""
    deadline = time.monotonic() + deadline_seconds
    while time.monotonic() < deadline:
        try:
            chunk = os.read(stream.fileno(), 65536)
        except BlockingIOError:
            chunk = None
        if chunk:
            seen += chunk
            if wanted.encode() in seen:
                return seen.decode()
        else:
            time.sleep(0.01)  # polling a pipe, not waiting for an event
    raise AssertionError(f"{wanted!r} not printed within {deadline_seconds}s; got {seen!r}")


def test_tail_follows_a_growing_file(root, trovik):
    run = trovik.Experiment("follow", {"k": 1})
    run.track({"loss": 1.5})
    whole = trovik_cli("tail", run.run_id).stdout.splitlines()
    assert len(whole) == 2 and "run_start" in whole[0] and "loss=1.5" in whole[1]
    child = subprocess.Popen([command_path(), "tail", "-f", run.run_id], stdout=subprocess.PIPE)
    try:
        os.set_blocking(child.stdout.fileno(), False)
        read_until(child.stdout, "loss=1.5")
        with open(run.path, "ab") as f:  # half a record: nothing may be printed for it yet
            f.write(b'{"elapsed_ms":9,"kind":"track","value":{"half":')
        with open(run.path, "ab") as f:
            f.write(b'1}}\n')
        read_until(child.stdout, "half=1")
        run.track({"loss": 0.25}, note="appended")
        assert "# appended" in read_until(child.stdout, "loss=0.25")
    finally:
        child.terminate()
        child.wait(timeout=10)


def test_gc_deletes_only_snapshot_branches_of_runs_gone(repository, git_environment, trovik):
    repository.write("train.py", "print('changed')\n")
    kept = trovik.Experiment("kept")
    gone = trovik.Experiment("gone")
    branches = {f"refs/heads/run/{kept.run_id}", f"refs/heads/run/{gone.run_id}"}
    assert branches <= repository.refs()
    head = repository.head()
    repository.git("branch", "run/mine", head)
    impostor = "0123abcd-0000-4000-8000-000000000000"
    repository.git("branch", f"run/{impostor}", head)
    os.remove(gone.path)
    dead = run_python("import trovik; print(trovik.Experiment('dead').run_id)")
    dead_id = dead.stdout.decode().strip()
    index = git_environment / f"trovik-{dead_id}.index"
    index.write_bytes(b"DIRC")
    (git_environment / f"trovik-{kept.run_id}.index").write_bytes(b"DIRC")  # its process lives

    listed = trovik_cli("gc").stdout
    assert gone.run_id in listed and str(index) in listed
    assert kept.run_id not in listed and "run/mine" not in listed and impostor not in listed
    assert f"refs/heads/run/{gone.run_id}" in repository.refs() and index.exists()

    trovik_cli("gc", "--yes")
    refs = repository.refs()
    assert f"refs/heads/run/{gone.run_id}" not in refs
    assert {f"refs/heads/run/{kept.run_id}", "refs/heads/run/mine",
            f"refs/heads/run/{impostor}"} <= refs
    assert not index.exists()
    assert (git_environment / f"trovik-{kept.run_id}.index").exists()
    assert "nothing to clean up" in trovik_cli("gc").stdout
    aged = trovik_cli("gc", "--older-than", "0s").stdout
    assert dead_id in aged and kept.run_id not in aged  # a live run keeps its snapshot


def test_code_shows_and_checks_out_a_runs_changes(repository, git_environment, tmp_path, trovik):
    repository.write("train.py", "print('tuned')\n")
    run = trovik.Experiment("dirty")
    diff = trovik_cli("code", run.run_id).stdout
    assert "-print('train')" in diff and "+print('tuned')" in diff

    worktree = tmp_path / "rerun"
    out = trovik_cli("code", "@1", "--checkout", str(worktree)).stdout
    assert (worktree / "train.py").read_text() == "print('tuned')\n"
    assert f"cd {worktree}" in out
    assert "pytest" in out.split("to run it again:")[1]
    assert git("status", "--porcelain", cwd=repository.path).splitlines() == [" M train.py"]
    repository.git("checkout", "-q", "--", "train.py")
    # A root the user made shows its run files as untracked: dirty, yet nothing to snapshot.
    os.remove(repository.path / ".trovik" / ".gitignore")
    only_runs_changed = trovik.Experiment("clean")
    out = trovik_cli("code", only_runs_changed.run_id).stdout
    assert repository.head() in out and "no snapshot" in out and "initial" in out
    repository.write(".gitignore", "*.log\n.trovik/\n")
    repository.commit_all("ignore runs")
    clean = trovik.Experiment("clean")
    out = trovik_cli("code", clean.run_id).stdout
    assert repository.head() in out and "no uncommitted changes" in out
    failed = trovik_cli("code", run.run_id, "--checkout", str(worktree), check=False)
    assert failed.returncode == 1 and failed.stderr.startswith("trovik: ")


def test_runs_are_found_across_the_work_tree_and_by_path(repository, tmp_path, monkeypatch, trovik):
    (repository.path / "experiments" / "deep").mkdir(parents=True)
    top = trovik.Experiment("at-top")
    monkeypatch.chdir(repository.path / "experiments" / "deep")
    nested = trovik.Experiment("nested")
    elsewhere = tmp_path / "copied.jsonl"
    elsewhere.write_bytes(open(os.path.join(repository.path, top.path), "rb").read())
    listed = {r["name"] for r in cli_json("ls")}
    assert listed == {"at-top", "nested"}
    monkeypatch.chdir(repository.path)
    assert [r["run_id"] for r in cli_json("ls", "--name", "nest*")] == [nested.run_id]
    assert len(cli_json("ls", "-n", "1")) == 1
    assert cli_json("show", str(elsewhere))["name"] == "at-top"
    missing = trovik_cli("ls", "--root", str(tmp_path / "nothing-here"), check=False)
    assert missing.returncode == 2 and "not a directory" in missing.stderr


@pytest.mark.parametrize("placing", [
    lambda root: ["--root", root, "show", "@1"],
    lambda root: ["show", "--root", root, "@1"],
    lambda root: ["show", f"--root={root}", "@1"],
    lambda root: ["show", "@1", "--root", root],
])
def test_root_option_goes_anywhere_before_or_after_the_run(root, trovik, monkeypatch, tmp_path,
                                                           placing):
    run = trovik.Experiment("rooted")
    monkeypatch.delenv("TROVIK_DIR")
    monkeypatch.chdir(tmp_path)
    assert cli_json(*placing(str(root)))["run_id"] == run.run_id


def test_compare_code_shows_the_diff_between_run_commits(repository, trovik):
    first = trovik.Experiment("v1")
    repository.write("src/model.py", "weights = 2\n")
    repository.commit_all("more weights")
    second = trovik.Experiment("v2")
    out = trovik_cli("compare", first.run_id, second.run_id, "--code").stdout
    assert "src/model.py" in out and "changed" in out


@pytest.mark.parametrize("args", [["ls"], ["show", "@1", "--json"], ["export"]])
def test_output_that_cannot_be_written_is_a_failure(root, trovik, args):
    trovik.Experiment("full").track({"loss": 0.5})
    with open("/dev/full", "w") as full:
        result = subprocess.run([command_path(), *args], stdout=full, stderr=subprocess.PIPE,
                                text=True)
    assert result.returncode == 1
    assert result.stderr == ("trovik: write failure on standard output: "
                             "No space left on device (os error 28)\n")


def test_code_is_looked_up_in_the_repository_of_the_runs_root(repository, tmp_path, monkeypatch,
                                                                 trovik):
    repository.write("train.py", "print('tuned')\n")
    run = trovik.Experiment("dirty")
    other = tmp_path / "other"
    other.mkdir()
    git("init", "-q", "-b", "main", cwd=other)
    git("commit", "-q", "--allow-empty", "-m", "unrelated", cwd=other)
    monkeypatch.chdir(other)
    root = str(repository.path / ".trovik")
    assert "+print('tuned')" in trovik_cli("--root", root, "code", run.run_id).stdout
