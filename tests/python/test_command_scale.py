"""The command's numbers as recorded, the number that stands for a series, and its summary
cache."""

import csv
import io
import json
import os
import subprocess

import pytest

from test_command import command_path, trovik_cli

# Numbers whose text a double would change: every digit of big integers, the sign of zero,
# subnormals, 17 significant digits.
AWKWARD = [0, 2**64, -(2**70) - 1, -0.0, 5e-324, 1e-310, 0.1 + 0.2, 1 / 3, 1e-7, 1.5e300, 7]


def tokens(line):
    """A record line's numbers as their text in the file."""
    return json.loads(line, parse_float=str, parse_int=str)


@pytest.fixture
def awkward_run(root, trovik):
    run = trovik.Experiment("exact", {"seed": 2**64 + 1})
    for i, number in enumerate(AWKWARD):
        run.track({"step": i, "x": number, "y": AWKWARD[-1 - i]})
    run.close()
    with open(run.path) as f:
        records = [tokens(line) for line in f]
    return run, [r["value"] for r in records if r["kind"] == "track"]


def test_export_writes_each_number_as_the_file_has_it(awkward_run):
    _, values = awkward_run
    expected = [(v["step"], name, v[name]) for v in values for name in ("step", "x", "y")]
    rows = list(csv.DictReader(io.StringIO(trovik_cli("export").stdout)))
    assert sorted((r["step"], r["series"], r["value"]) for r in rows) == sorted(expected)
    ndjson = [json.loads(line, parse_float=str, parse_int=str)
              for line in trovik_cli("export", "--format", "ndjson").stdout.splitlines()]
    assert sorted((r["step"], r["series"], r["value"]) for r in ndjson) == sorted(expected)


def test_json_outputs_write_recorded_numbers(awkward_run):
    run, values = awkward_run
    last = values[-1]
    listed = tokens(trovik_cli("ls", "--json").stdout)[0]
    assert listed["last"] == {"step": last["step"], "x": last["x"], "y": last["y"]}
    assert listed["metadata"]["seed"] == str(2**64 + 1)
    shown = tokens(trovik_cli("show", "@1", "--json").stdout)["series"]["x"]
    assert (shown["first"], shown["last"]) == (values[0]["x"], last["x"])
    assert (shown["min"], shown["max"]) == (str(-(2**70) - 1), "1.5e+300")
    compared = tokens(trovik_cli("compare", "@1", run.path, "--json").stdout)
    assert compared["series"]["x"] == [last["x"], last["x"]]


@pytest.fixture
def three_runs(root, trovik):
    ids = []
    for losses in ([3.0, 0.5, 2.0], [1.0, 1.5], [4.0, 0.1, 5.0]):
        run = trovik.Experiment("sweep")
        for loss in losses:
            run.track({"loss": loss})
        run.close()
        ids.append(run.run_id)
    return ids


@pytest.mark.parametrize("stat,numbers", [("last", [1.5, 2.0, 5.0]), ("min", [0.1, 0.5, 1.0]),
                                          ("max", [1.5, 3.0, 5.0])])
def test_stat_chooses_the_number_that_is_shown_and_sorted(three_runs, stat, numbers):
    args = ["ls", "--sort", "loss"] + ([] if stat == "last" else ["--stat", stat])
    rows = json.loads(trovik_cli(*args, "--json").stdout)
    assert [row[stat]["loss"] for row in rows] == numbers
    table = trovik_cli(*args).stdout.splitlines()
    assert [line.split()[-1] for line in table[1:]] == [f"{n:g}" for n in numbers]
    compared = trovik_cli("compare", "@1", "@2", "--stat", stat).stdout
    assert f"loss {stat}" in compared
    assert all(f"loss {other}" not in compared for other in {"last", "min", "max"} - {stat})


def cache_files(directory):
    folder = os.path.join(directory, "trovik")
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


def test_cache_follows_the_runs_and_stays_out_of_the_way(three_runs, root, trovik,
                                                        private_cache, tmp_path, monkeypatch):
    uncached = trovik_cli("ls", "--json", "--no-cache").stdout
    assert cache_files(private_cache) == []
    assert trovik_cli("ls", "--json").stdout == uncached
    assert cache_files(private_cache) != []
    run = trovik.Experiment("sweep", {"late": True})
    run.track({"loss": 0.01})
    for _ in range(2):
        assert trovik_cli("ls", "--json").stdout == trovik_cli("ls", "--json", "--no-cache").stdout
    # A cache folder that can't be made: reading goes on as without one.
    blocked = tmp_path / "not-a-folder"
    blocked.write_text("")
    monkeypatch.setenv("XDG_CACHE_HOME", str(blocked))
    assert trovik_cli("ls", "--json").stdout == trovik_cli("ls", "--json", "--no-cache").stdout


def test_processes_updating_the_cache_at_once_each_read_right(root, trovik, private_cache):
    runs = []
    for i in range(30):
        run = trovik.Experiment("race", {"i": i})
        run.track({"loss": 1.0 / (i + 1)})
        runs.append(run)
    for round in range(4):
        for run in runs[round::4]:
            run.track({"loss": float(round)})
        expected = trovik_cli("ls", "--json", "--no-cache").stdout
        children = [subprocess.Popen([command_path(), "ls", "--json"], stdout=subprocess.PIPE,
                                     text=True) for _ in range(4)]
        outputs = [child.communicate(timeout=60)[0] for child in children]
        assert all(child.returncode == 0 for child in children)
        assert outputs == [expected] * 4
        assert trovik_cli("ls", "--json").stdout == expected
