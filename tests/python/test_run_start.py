"""The run_start record: its keys, and where each host and process fact comes from."""

import json
import os
import shutil
import socket
import stat
import subprocess
import sys

import pytest

import trovik
from conftest import read_lines, read_records

ENVELOPE_KEYS = [
    "created_at", "elapsed_ms", "experiment_name", "kind", "run_id", "schema_version",
    "trovik_version", "value",
]


def start_value(run):
    return read_records(run.path)[0]["value"]


def child_run_start(tmp_path, env_changes, args=(), cwd=None, script_name="script.py"):
    """Starts a run in a fresh interpreter (environment given as bytes where needed) and returns
    the parsed run_start record."""
    script = tmp_path / script_name
    script.write_text("import sys, trovik\nprint(trovik.Experiment('child').path)\n")
    env = dict(os.environb)
    env[b"PYTHONPATH"] = os.path.dirname(trovik.__file__).encode()
    env[b"TROVIK_DIR"] = str(tmp_path / "root").encode()
    for key, value in env_changes.items():
        key = key.encode() if isinstance(key, str) else key
        if value is None:
            env.pop(key, None)
        else:
            env[key] = value.encode() if isinstance(value, str) else value
    result = subprocess.run(
        [sys.executable, str(script), *args], env=env, cwd=cwd or tmp_path,
        capture_output=True, check=True,
    )
    path = result.stdout.decode().strip()
    return read_records(path)[0], result


def test_outside_a_repository(trovik, root):
    run = trovik.Experiment("demo")
    lines = read_lines(run.path)
    assert len(lines) == 2 and lines[1] == b""
    record = json.loads(lines[0])
    assert list(record) == ENVELOPE_KEYS
    assert record["kind"] == "run_start" and record["run_id"] == run.run_id
    value = record["value"]
    assert list(value) == ["git", "host", "process"]
    assert value["git"] is None
    assert list(value["host"]) == ["arch", "cpu_count", "hostname", "os", "username"]
    assert value["host"]["os"] == "linux" and value["host"]["arch"] == "x86_64"
    assert list(value["process"]) == ["argv", "cwd", "pid", "ppid"]
    process = value["process"]
    assert process["pid"] == os.getpid() and process["ppid"] == os.getppid()
    assert process["cwd"] == os.getcwd()
    with open("/proc/self/cmdline", "rb") as f:
        expected_argv = [a.decode(errors="replace") for a in f.read().split(b"\0")[:-1]]
    assert process["argv"] == expected_argv
    assert value["host"]["cpu_count"] == len(os.sched_getaffinity(0))


@pytest.mark.parametrize(
    "env, expected",
    [
        ({"HOSTNAME": "box-7"}, "box-7"),
        ({"HOSTNAME": ""}, ""),
        ({"HOSTNAME": b"bad\xff"}, socket.gethostname()),
        ({"HOSTNAME": None}, socket.gethostname()),
    ],
    ids=["set", "empty-kept", "non-utf8-unset", "unset-runs-program"],
)
def test_host_name_sources(tmp_path, env, expected):
    record, _ = child_run_start(tmp_path, env)
    assert record["value"]["host"]["hostname"] == expected


def test_host_name_null_without_the_program(tmp_path):
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    os.symlink(shutil.which("git"), bin_dir / "git")
    record, _ = child_run_start(tmp_path, {"HOSTNAME": None, "PATH": str(bin_dir)})
    assert record["value"]["host"]["hostname"] is None


def test_host_name_program_runs_after_every_git_command(tmp_path):
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    log = tmp_path / "log"
    for name in ("git", "hostname"):
        real = shutil.which(name)
        fake = bin_dir / name
        fake.write_text(f'#!/bin/sh\necho {name} >> "{log}"\nexec "{real}" "$@"\n')
        fake.chmod(0o755)
    record, _ = child_run_start(tmp_path, {"HOSTNAME": None, "PATH": f"{bin_dir}:{os.environ['PATH']}"})
    assert log.read_text().split() == ["git", "hostname"]
    assert record["value"]["host"]["hostname"] == socket.gethostname()


@pytest.mark.parametrize(
    "env, expected",
    [
        ({"USER": "ada", "USERNAME": "bob"}, "ada"),
        ({"USER": None, "USERNAME": "bob"}, "bob"),
        ({"USER": "", "USERNAME": "bob"}, ""),
        ({"USER": b"\xff", "USERNAME": "bob"}, "bob"),
        ({"USER": b"\xff", "USERNAME": b"\xfe"}, None),
        ({"USER": None, "USERNAME": None}, None),
    ],
    ids=["user", "username", "empty-user-kept", "non-utf8-user", "both-non-utf8", "both-unset"],
)
def test_user_name_sources(tmp_path, env, expected):
    record, _ = child_run_start(tmp_path, env)
    assert record["value"]["host"]["username"] == expected


def test_argv_is_the_interpreter_vector_decoded_lossily(tmp_path):
    record, _ = child_run_start(tmp_path, {}, args=[b"one", b"t\xffo"])
    argv = record["value"]["process"]["argv"]
    assert argv == [sys.executable, str(tmp_path / "script.py"), "one", "t\ufffdo"]


def test_cwd_with_invalid_bytes_is_decoded_lossily(tmp_path):
    odd = os.path.join(os.fsencode(tmp_path), b"dir\xff")
    os.mkdir(odd)
    record, _ = child_run_start(tmp_path, {}, cwd=odd)
    assert record["value"]["process"]["cwd"] == str(tmp_path) + "/dir\ufffd"


def start_value_after(tmp_path, setup):
    """The run_start value of a run started in a fresh interpreter after `setup` ran there."""
    code = setup + "\nimport trovik\nprint(trovik.Experiment('x').path)\n"
    env = dict(os.environ, PYTHONPATH=os.path.dirname(trovik.__file__), TROVIK_DIR=str(tmp_path / "r"))
    out = subprocess.run([sys.executable, "-c", code], env=env, cwd=tmp_path, capture_output=True,
                         check=True).stdout.decode().strip()
    return read_records(out)[0]["value"]


def test_removed_cwd_is_null_and_the_rest_is_recorded(tmp_path):
    value = start_value_after(
        tmp_path, "import os\nos.mkdir('gone'); os.chdir('gone'); os.rmdir(os.path.abspath('.'))")
    assert value["process"]["cwd"] is None
    assert value["git"] is None and value["host"]["os"] == "linux"


def test_cpu_count_follows_the_affinity_mask(tmp_path):
    value = start_value_after(
        tmp_path, "import os\nos.sched_setaffinity(0, {min(os.sched_getaffinity(0))})")
    assert value["host"]["cpu_count"] == 1


def test_failed_first_append_raises_and_returns_no_experiment(trovik, root, tmp_path, monkeypatch):
    # A git that removes the runs directory between its creation and the first append.
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    fake = bin_dir / "git"
    fake.write_text(f'#!/bin/sh\nrm -rf "{root}/runs"\nexit 1\n')
    fake.chmod(0o755)
    monkeypatch.setenv("PATH", f"{bin_dir}:{os.environ['PATH']}")
    with pytest.raises(OSError) as caught:
        trovik.Experiment("demo")
    assert type(caught.value) is OSError
    assert caught.value.args == ("No such file or directory (os error 2)",)
