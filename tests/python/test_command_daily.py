"""The `trovik` command in daily use: what it prints for a person is safe and fits, what it writes
never replaces what it shouldn't, and what it deletes is only what it can account for."""

import fcntl
import json
import os
import pty
import select
import shutil
import stat
import struct
import subprocess
import termios
import time

import pytest

from git_fixtures import git, git_environment, repository  # noqa: F401  (fixtures by name)
from test_command import cli_json, command_path, trovik_cli

CONTROLS = ("".join(chr(c) for c in [*range(0x20), 0x7F, *range(0x80, 0xA0)])
            + "\u061c\u200e\u200f\u202a\u202b\u202c\u202d\u202e\u2066\u2067\u2068\u2069")


def on_terminal(args, columns, cwd=None):
    """Standard output of the command run on a terminal `columns` wide, without colours."""
    master, slave = pty.openpty()
    fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 40, columns, 0, 0))
    child = subprocess.Popen([command_path(), *args], stdout=slave, stderr=subprocess.DEVNULL,
                             cwd=cwd, env=dict(os.environ, NO_COLOR="1"))
    os.close(slave)
    out = b""
    deadline = time.monotonic() + 30
    try:
        while time.monotonic() < deadline:
            if select.select([master], [], [], 1)[0]:
                try:
                    chunk = os.read(master, 65536)
                except OSError:  # the terminal's other end is closed: the command has ended
                    break
                if not chunk:
                    break
                out += chunk
    finally:
        os.close(master)
        child.wait(timeout=10)
    return out.decode().replace("\r\n", "\n")


def write_run(root, run_id, name, metadata, tracks, start="2024-03-05T07:08:09.000+00:00",
              extra=None):
    """A run file written by hand: a run_start, then one track record per (value, note)."""
    runs = root / "runs"
    runs.mkdir(parents=True, exist_ok=True)
    value = {"metadata": metadata, "host": {"hostname": name}, "argv": [name], "cwd": name}
    value.update(extra or {})
    start_record = {"created_at": start, "elapsed_ms": 0, "experiment_name": name,
                    "kind": "run_start", "run_id": run_id, "schema_version": 1, "value": value}
    lines = [json.dumps(start_record, ensure_ascii=False)]
    for i, (tracked, note) in enumerate(tracks):
        record = {"created_at": start, "elapsed_ms": i + 1, "kind": "track", "value": tracked}
        if note is not None:
            record["note"] = note
        lines.append(json.dumps(record, ensure_ascii=False))
    path = runs / f"{run_id}.jsonl"
    path.write_text("".join(line + "\n" for line in lines), encoding="utf-8")
    return path


HOSTILE = "a" + CONTROLS + "z"


@pytest.mark.parametrize("args", [
    ["ls"], ["ls", "--all"], ["show", "@1"], ["show", "@2"], ["tail", "@1"],
    ["compare", "@1", "@2", "--all"], ["show", "zz" + HOSTILE[2:]],
])
def test_text_from_run_files_reaches_the_terminal_escaped(root, args):
    extra = {"git": {"commit": "ab" * 20, "branch": HOSTILE, "dirty": True}}
    for index in (1, 2):
        write_run(root, f"{index}0000000-0000-4000-8000-000000000000", HOSTILE,
                  {HOSTILE: HOSTILE, "i": index}, [({HOSTILE: 1.5 * index}, HOSTILE)],
                  start=f"2024-03-05T07:08:0{index}.000+00:00", extra=extra)
    result = subprocess.run([command_path(), *args], capture_output=True, text=True)
    printed = result.stdout + result.stderr
    assert set(printed) & set(CONTROLS) <= {"\n"}, repr(printed)
    assert "\\x1b" in printed and "\\u202e" in printed
    if args == ["ls"]:
        assert result.stdout.count("\n") == 3  # no row forged by a line feed


def test_data_outputs_keep_the_exact_text_as_valid_utf8(root):
    path = write_run(root, "10000000-0000-4000-8000-000000000000", HOSTILE, {HOSTILE: 1},
                     [({HOSTILE: 2.5}, None)])
    listed = cli_json("ls")[0]
    assert listed["name"] == HOSTILE and listed["metadata"] == {HOSTILE: 1}
    exported = trovik_cli("export", "--format", "ndjson").stdout
    assert json.loads(exported)["series"] == HOSTILE
    # A byte that is no UTF-8 in the name, in a series name and in a note.
    path.write_bytes(path.read_bytes().replace(b'"experiment_name": "a', b'"experiment_name": "\xff'))
    with open(path, "ab") as f:
        f.write(b'{"kind":"track","elapsed_ms":9,"value":{"bad\xfe":1},"note":"\xc3"}\n')
    for args in (["ls", "--json"], ["show", "@1", "--json"], ["compare", "@1", str(path), "--json"]):
        raw = subprocess.run([command_path(), *args], capture_output=True).stdout
        assert "\ufffd" in json.dumps(json.loads(raw.decode("utf-8")), ensure_ascii=False), args
    raw = subprocess.run([command_path(), "export", "--format", "ndjson"], capture_output=True).stdout
    assert json.loads(raw.decode("utf-8").split("\n")[-2])["series"] == "bad\ufffd"


def test_report_output_follows_links_and_refuses_what_is_not_a_file(root, trovik, tmp_path):
    trovik.Experiment("paged").track({"loss": 0.5})
    default = trovik_cli("report")
    assert default.stdout.startswith(f"wrote {root / 'trovik-report.html'} (1 run)")
    target = tmp_path / "kept" / "page.html"
    target.parent.mkdir()
    target.write_text("old")
    link = tmp_path / "link.html"
    link.symlink_to(os.path.relpath(target, tmp_path))
    trovik_cli("report", "-o", str(link))
    assert link.is_symlink() and "<html" in target.read_text()
    fifo = tmp_path / "pipe.html"
    os.mkfifo(fifo)
    refused = trovik_cli("report", "-o", str(fifo), check=False)
    assert refused.returncode == 2 and len(refused.stderr.splitlines()) == 1
    assert "not a regular file" in refused.stderr and stat.S_ISFIFO(os.lstat(fifo).st_mode)
    piped = subprocess.run([command_path(), "report", "-o", "-"], capture_output=True)
    assert piped.returncode == 0 and piped.stdout.lstrip().lower().startswith(b"<!doctype html")


def test_a_metadata_key_and_a_series_of_one_name_are_two_columns(root, trovik, monkeypatch):
    monkeypatch.setenv("NO_COLOR", "1")
    for lr in (1.0, 2.0):
        trovik.Experiment("sched", {"lr": lr}).track({"lr": lr / 10})
    header = trovik_cli("ls").stdout.splitlines()[0].split()
    assert "metadata:lr" in header and "series:lr" in header and "lr" not in header
    ambiguous = trovik_cli("ls", "--sort", "lr", check=False)
    assert ambiguous.returncode == 2 and "metadata:lr or series:lr" in ambiguous.stderr
    assert [r["metadata"]["lr"] for r in cli_json("ls", "--sort", "-metadata:lr")] == [2.0, 1.0]


def test_a_record_without_a_step_is_at_the_latest_step_before_it(root, trovik):
    run = trovik.Experiment("final")
    for step in range(0, 2001, 100):
        run.track({"step": step, "loss": 1 / (step + 1)}, note="start" if step == 0 else None)
    run.track({"test_acc": 0.9}, note="done")
    shown = cli_json("show", "@1")
    assert shown["series"]["test_acc"]["max_step"] == 2000
    last = json.loads(trovik_cli("export", "--format", "ndjson").stdout.splitlines()[-1])
    assert (last["series"], last["step"]) == ("test_acc", 2000)


def test_gc_deletes_nothing_when_its_roots_hold_no_runs(repository, tmp_path, monkeypatch, trovik):
    monkeypatch.setenv("TROVIK_DIR", str(tmp_path / "elsewhere"))
    repository.write("train.py", "print('tuned')\n")
    run = trovik.Experiment("kept-elsewhere")
    monkeypatch.delenv("TROVIK_DIR")
    branch = f"refs/heads/run/{run.run_id}"
    listed = trovik_cli("gc", "--yes")
    assert "no runs found in .trovik" in listed.stdout and "nothing is deleted" in listed.stdout
    assert branch in repository.refs()
    root = str(tmp_path / "elsewhere")
    assert f"runs searched for in {root}" in trovik_cli("--root", root, "gc").stdout
    repository.git("checkout", "-q", "-b", "feature-wd")
    base = repository.head()[:7]
    assert f"over {base} (feature-wd)" in trovik_cli("--root", root, "code", run.run_id).stdout
    assert f"over {base} (feature-wd)" in trovik_cli("--root", root, "show", run.run_id).stdout


def test_an_unreadable_run_file_is_skipped_with_one_warning(root, trovik):
    trovik.Experiment("fine").track({"loss": 0.5})
    other = trovik.Experiment("also-fine")
    other.track({"loss": 0.25})
    # Reading /proc/self/mem at offset 0 fails (EIO) for every user, root included.
    (root / "runs" / "broken.jsonl").symlink_to("/proc/self/mem")
    for args in (["ls"], ["ls", "--json"], ["export"], ["report", "-o", "-"],
                 ["compare", "@1", "@2", "@3"]):
        result = subprocess.run([command_path(), *args], capture_output=True)
        warnings = result.stderr.decode().splitlines()
        assert result.returncode == 1 and len(warnings) == 1, (args, warnings)
        assert warnings[0].startswith("trovik: warning: skipped ") and "broken.jsonl" in warnings[0]
        assert b"also-fine" in result.stdout or b"0.25" in result.stdout or args[0] == "compare"
    (root / "not-a-folder" / "runs").parent.mkdir()
    (root / "not-a-folder" / "runs").write_text("")
    folder = trovik_cli("--root", str(root / "not-a-folder"), "ls", check=False)
    assert folder.returncode == 1 and "trovik: warning: cannot read" in folder.stderr


def test_a_run_in_two_roots_is_one_run_read_from_its_longest_copy(root, trovik, tmp_path):
    run = trovik.Experiment("synced")
    run.track({"loss": 1.0})
    stale = tmp_path / "stale"
    shutil.copytree(root, stale)
    run.track({"loss": 0.5})
    roots = ["--root", str(stale), "--root", str(root)]
    assert [r["run_id"] for r in cli_json(*roots, "ls")] == [run.run_id]
    for reference in (run.run_id, run.run_id[:6]):
        assert cli_json(*roots, "show", reference)["series"]["loss"]["count"] == 2
    shown = trovik_cli(*roots, "show", run.run_id[:6]).stdout
    assert f"copy      {stale / 'runs' / (run.run_id + '.jsonl')}" in shown


def sweep(trovik, runs):
    for lr, seed, width in runs:
        run = trovik.Experiment("mlp", {"lr": lr, "seed": seed, "width": width})
        for step in range(3):
            run.track({"step": step, "k2": lr * step, "k10": seed, "loss": 1.0 / (step + width)})


def test_ls_puts_what_differs_first_and_decides_over_every_run(root, trovik):
    sweep(trovik, [(lr, seed, 8) for lr in (0.1, 0.01) for seed in (1, 2)])
    lines = on_terminal(["ls"], 80).splitlines()
    # Equal in every run, and so left out: name, records, width, loss, git, host (and the
    # duration, when the runs happened to take equally long).
    header = [name for name in lines[0].split() if name != "duration"]
    assert header == ["id", "status", "start", "lr", "seed", "k2", "k10"]
    assert all(len(line) <= 80 for line in lines) and "just now" in lines[1]
    top = on_terminal(["ls", "--sort", "-k2", "-n", "1"], 120).splitlines()
    assert "lr" in top[0].split() and len(top) == 2
    assert "host" in on_terminal(["ls", "--all"], 200).splitlines()[0].split()


def test_compare_of_many_runs_shows_a_row_per_run(root, trovik):
    sweep(trovik, [(lr, seed, 8) for lr in (0.1, 0.01, 0.001) for seed in (1, 2, 3)])
    lines = on_terminal(["compare", *[f"@{i}" for i in range(1, 10)]], 80).splitlines()
    assert lines[0].split()[:2] == ["id", "name"] and len(lines) >= 10
    assert all(len(line) <= 80 for line in lines)


def test_tail_prints_the_last_records_cut_to_the_width(root, trovik):
    run = trovik.Experiment("long")
    for i in range(30):
        run.track({"i": i, "blob": "x" * 500})
    lines = trovik_cli("tail", "-n", "3", "@1").stdout.splitlines()
    assert len(lines) == 3 and "i=29" in lines[-1] and len(lines[-1]) > 500
    shown = on_terminal(["tail", "@1"], 80).splitlines()
    assert len(shown) == 10 and all(len(line) <= 80 and line.endswith("…") for line in shown)
    assert all(len(line) > 500 for line in on_terminal(["tail", "--full", "@1"], 80).splitlines())


def test_show_lists_series_in_natural_order_without_step(root, trovik):
    trovik.Experiment("order").track({"step": 1, "k10": 1, "k2": 2, "k1": 3})
    shown = trovik_cli("show", "@1").stdout.split("\nseries")[1].splitlines()
    assert [line.split()[0] for line in shown[1:4]] == ["k1", "k2", "k10"] and len(shown) == 4


def test_a_run_without_a_start_time_is_the_oldest(root, trovik):
    run = trovik.Experiment("real")
    run.track({"loss": 1})
    broken = root / "runs" / "broken.jsonl"
    broken.write_text('{"kind":"track","value":1}\n')
    later = os.stat(run.path).st_mtime + 60
    os.utime(broken, (later, later))
    assert cli_json("show", "@1")["run_id"] == run.run_id
    assert [r["run_id"] for r in cli_json("ls")] == [run.run_id, "broken"]
