"""The status of a run as every command shows it, for runs written by child interpreters that end
each way: a sweep with one run of each status, read by the `trovik` command."""

import contextlib
import datetime
import json
import os
import pty
import re
import signal
import subprocess
import sys

import pytest

import trovik as trovik_module
from test_command import command_path

SWEEP_CHILD = """
import os, pickle, signal, sys, trovik
with trovik.Experiment({name!r}, metadata={{"case": {name!r}}}) as run:
    run.track({{"step": 0, "loss": 1.0}})
    {environment}
    print(run.path, flush=True)
    {body}
{after}
"""

# name, what the `with` block does, a signal sent once it has tracked, the status read back
ENDINGS = [
    ("normal", "pass", None, "completed"),
    ("raise", "raise RuntimeError('boom\\nsecond line')", None, "failed"),
    ("sigint", "signal.pause()", signal.SIGINT, "interrupted"),
    ("exit-0", "sys.exit(0)", None, "completed"),
    ("exit-3", "sys.exit(3)", None, "failed"),
    ("os-exit", "os._exit(0)", None, "stopped"),
    ("sigkill", "signal.pause()", signal.SIGKILL, "stopped"),
    ("live", "sys.stdin.read()", None, "running"),
    ("younger-pid", "os._exit(0)", None, "stopped"),
    ("other-host", "os._exit(0)", None, "unknown"),
    ("after-end", "pass", None, "completed"),
    ("torn-end", "os._exit(0)", None, "stopped"),
]


def rewrite_run_start(path, change):
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines(keepends=True)
    record = json.loads(lines[0])
    change(record)
    lines[0] = json.dumps(record, separators=(",", ":")) + "\n"
    with open(path, "w", encoding="utf-8") as f:
        f.writelines(lines)


@pytest.fixture(scope="module")
def sweep(tmp_path_factory):
    """A root holding one run per ending; yields the root and the run file of each ending."""
    root = tmp_path_factory.mktemp("sweep") / "root"
    env = dict(os.environ, TROVIK_DIR=str(root), PYTHONPATH=os.path.dirname(trovik_module.__file__))
    env.pop("NO_COLOR", None)
    paths, live, younger = {}, [], []
    try:
        for name, body, send, _ in ENDINGS:
            environment = ""
            if name in ("normal", "exit-0"):
                env["OMP_NUM_THREADS"] = "1" if name == "normal" else "2"
                environment = "run.record_environment()"
            after = "pickle.loads(pickle.dumps(run)).track(2)" if name == "after-end" else ""
            code = SWEEP_CHILD.format(name=name, body=body, environment=environment, after=after)
            child = subprocess.Popen([sys.executable, "-c", code], env=env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            env.pop("OMP_NUM_THREADS", None)
            paths[name] = path = str(root.parent / child.stdout.readline().decode().strip())
            if name == "live":
                live.append(child)
                continue
            if send is not None:
                child.send_signal(send)
            child.communicate(timeout=60)
        # A live process whose id the run names, but which started after the run: another one.
        younger.append(subprocess.Popen([sys.executable, "-c", "import sys; sys.stdin.read()"],
                                        stdin=subprocess.PIPE))
        hour_ago = (datetime.datetime.now(datetime.timezone.utc)
                    - datetime.timedelta(hours=1)).isoformat(timespec="milliseconds")

        def younger_pid(record):
            record["value"]["process"]["pid"] = younger[0].pid
            record["created_at"] = hour_ago

        rewrite_run_start(paths["younger-pid"], younger_pid)
        rewrite_run_start(paths["other-host"],
                          lambda record: record["value"]["host"].update(hostname="elsewhere"))
        with open(paths["torn-end"], "ab") as f:
            f.write(b'{"created_at":"2024-03-05T07:08:09.120+00:00","elapsed_ms":9,"kind":"run_end"')
        yield root, paths
    finally:
        for child in live + younger:
            child.stdin.close()
            child.wait(timeout=60)


def trovik_cli(root, *args, env=None, check=True):
    result = subprocess.run([command_path(), "--root", str(root), *args], capture_output=True,
                            text=True, env=env)
    assert result.returncode == 0 or not check, result.stderr
    return result


def listed(root, *args):
    return {run["name"]: run for run in json.loads(trovik_cli(root, "ls", "--json", *args).stdout)}


def test_every_ending_has_its_status_in_ls(sweep):
    root, _ = sweep
    runs = listed(root)
    assert {name: run["status"] for name, run in runs.items()} == {
        name: status for name, _, _, status in ENDINGS}
    for name, _, _, status in ENDINGS:
        end = runs[name]["end"]
        assert (end is None) == (status not in ("completed", "failed", "interrupted")), name
    assert runs["exit-3"]["end"]["exception"]["type"] == "SystemExit"
    table = trovik_cli(root, "ls").stdout.splitlines()
    assert table[0].split()[:3] == ["id", "name", "status"]
    other = next(line for line in table if " other-host " in line)
    assert re.search(r" unknown \((just now|\d+m ago)\) ", other)


@pytest.mark.parametrize("wanted, expected", [
    ("failed", {"raise", "exit-3"}),
    ("stopped,unknown", {"os-exit", "sigkill", "younger-pid", "other-host", "torn-end"}),
    ("running,interrupted", {"live", "sigint"}),
])
def test_ls_lists_only_the_statuses_asked_for(sweep, wanted, expected):
    assert set(listed(sweep[0], "--status", wanted)) == expected


def test_an_unknown_status_is_a_usage_error(sweep):
    result = trovik_cli(sweep[0], "ls", "--status", "failed,\x1b[31mdone", check=False)
    assert result.returncode == 2
    assert "no status 'done" not in result.stderr and "\\x1b[31mdone" in result.stderr


@pytest.mark.parametrize("no_color", [None, "1"])
def test_ls_colours_statuses_only_on_a_terminal_and_never_with_no_color(sweep, no_color):
    env = {key: value for key, value in os.environ.items() if key != "NO_COLOR"}
    env.update({"NO_COLOR": no_color} if no_color else {})
    main, secondary = pty.openpty()
    child = subprocess.Popen([command_path(), "--root", str(sweep[0]), "ls"], env=env,
                             stdout=secondary, stderr=subprocess.DEVNULL)
    os.close(secondary)
    chunks = []
    with contextlib.suppress(OSError):  # EIO once the command has closed its terminal
        while chunk := os.read(main, 65536):
            chunks.append(chunk)
    os.close(main)
    assert child.wait(timeout=60) == 0
    shown = b"".join(chunks).decode()
    coloured = "\033[31mfailed" in shown and "\033[32mrunning" in shown
    assert coloured if no_color is None else "\033[" not in shown


def test_show_tells_how_a_run_failed(sweep):
    root, paths = sweep
    text = trovik_cli(root, "show", paths["raise"]).stdout
    assert "\nstatus    failed\n" in text
    assert "\nexception RuntimeError: boom\\nsecond line\n" in text
    assert "s user, " in text and "peak memory" in text
    assert "\ntraceback\n" in text and "  RuntimeError: boom\n  second line\n" in text
    stopped = trovik_cli(root, "show", paths["sigkill"]).stdout
    assert "\nstatus    stopped (no end record, and its process " in stopped
    shown = json.loads(trovik_cli(root, "show", "--json", paths["after-end"]).stdout)
    assert (shown["status"], shown["end"]["status"], shown["records_after_end"]) == (
        "completed", "completed", 1)
    assert "after the end record" in trovik_cli(root, "show", paths["after-end"]).stdout
    environment = trovik_cli(root, "show", paths["normal"]).stdout
    assert "\nenvironment\n  python    " in environment and "OMP_NUM_THREADS=1" in environment


def test_show_cuts_a_long_traceback_to_its_end_unless_asked(root, workdir):
    script = workdir / "deep.py"
    script.write_text("import trovik\ndef deep(n):\n    if n == 0:\n        raise KeyError('bottom')\n"
                      "    deep(n - 1)\nwith trovik.Experiment('deep') as run:\n    deep(20)\n")
    subprocess.run([sys.executable, str(script)], capture_output=True,
                   env=dict(os.environ, PYTHONPATH=os.path.dirname(trovik_module.__file__)))
    text = subprocess.run([command_path(), "show", "@1"], capture_output=True, text=True).stdout
    assert "traceback (its last 8 of " in text and text.endswith("  KeyError: 'bottom'\n")
    whole = subprocess.run([command_path(), "show", "@1", "--traceback"], capture_output=True,
                           text=True).stdout
    assert "\ntraceback\n  Traceback (most recent call last):\n" in whole


def test_compare_has_a_status_row_and_the_environment_that_differs(sweep):
    root, paths = sweep
    table = trovik_cli(root, "compare", paths["normal"], paths["exit-0"], paths["raise"]).stdout
    assert ["status", "completed", "completed", "failed"] in [line.split() for line in
                                                                table.splitlines()]
    assert ["variable", "OMP_NUM_THREADS", "1", "2", "-"] in [line.split() for line in
                                                               table.splitlines()]
    assert "package " not in table  # the same interpreter: the same packages
    compared = json.loads(trovik_cli(root, "compare", "--json", paths["normal"], paths["sigkill"],
                                     paths["exit-0"]).stdout)
    assert compared["status"] == ["completed", "stopped", "completed"]
    assert compared["end"][1] is None and compared["end"][0]["status"] == "completed"
    assert compared["environment"] == {"variables": {"OMP_NUM_THREADS": ["1", None, "2"]}}


def test_tail_prints_the_end_record_as_one_line(sweep):
    root, paths = sweep
    last = trovik_cli(root, "tail", paths["raise"]).stdout.splitlines()[-1]
    assert "  run_end  failed  RuntimeError: boom\\nsecond line  " in last
    assert last.endswith(" peak memory")


def test_report_marks_each_status_and_holds_the_traceback(sweep, tmp_path):
    root, paths = sweep
    page = tmp_path / "report.html"
    trovik_cli(root, "report", "-o", str(page), *paths.values())
    html = page.read_text()
    for _, _, _, status in ENDINGS:
        assert f'<td class="status status-{status}">' in html
    assert "<summary>traceback</summary><pre>Traceback (most recent call last):" in html
    assert '"status":"failed"' in html
