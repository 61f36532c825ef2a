"""Records end to end: the text of tracked values, the envelope, failures and what they leave."""

import json
import math
import os
import random
import re
import struct
import sys
import threading
from pathlib import Path

import pytest

from conftest import read_lines, read_records, run_python

# Records carry the version defined in the sources.
VERSION = re.search(rb'#define TROVIK_VERSION "([^"]+)"',
                    (Path(__file__).parents[2] / "src" / "version.h").read_bytes()).group(1)
VALUE_MARK = b'"trovik_version":"%s","value":' % VERSION
CREATED_AT = re.compile(rb"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d{3}|\.\d{6}|\.\d{9})?\+00:00$")


def value_text(line):
    """The exact text of a record's value: it is the last key, so it runs to the closing brace."""
    start = line.index(VALUE_MARK) + len(VALUE_MARK)
    assert line.endswith(b"}")
    return line[start:-1]


def track_lines(trovik, value, note=None):
    run = trovik.Experiment("demo")
    run.track(value, note=note) if note is not None else run.track(value)
    lines = read_lines(run.path)
    assert len(lines) == 3 and lines[-1] == b""
    return lines[1]


def nested(depth):
    value = []
    for _ in range(depth - 1):
        value = [value]
    return value


@pytest.mark.parametrize(
    "value, text",
    [
        (None, b"null"),
        (True, b"true"),
        (False, b"false"),
        (0, b"0"),
        (2**64 - 1, b"18446744073709551615"),
        (2**63, b"9223372036854775808"),
        (2**64, b"18446744073709551616"),
        (-1, b"-1"),
        (-(2**63), b"-9223372036854775808"),
        (-(2**63) - 1, b"-9223372036854775809"),
        (10**30, b"1" + b"0" * 30),
        (0.5, b"0.5"),
        (1.0, b"1.0"),
        (0.0, b"0.0"),
        (-0.0, b"-0.0"),
        (-2.5, b"-2.5"),
        (100.0, b"100.0"),
        (123.456, b"123.456"),
        (1e15, b"1000000000000000.0"),
        (1e16, b"1e+16"),
        (1e22, b"1e+22"),
        (1e-5, b"0.00001"),
        (1.5e-5, b"0.000015"),
        (1e-6, b"1e-6"),
        (1.5e-7, b"1.5e-7"),
        (1.602176634e-19, b"1.602176634e-19"),
        (6.02214076e23, b"6.02214076e+23"),
        (sys.float_info.max, b"1.7976931348623157e+308"),
        (5e-324, b"5e-324"),
        ("", b'""'),
        ("\u00e9", '"\u00e9"'.encode()),
        ("\U0001f600", '"\U0001f600"'.encode()),
        ('"\\/\x1f', b'"\\"\\\\/\\u001f"'),
        ("a\nb\r\t\b\f\x00\x1b\x7f", b'"a\\nb\\r\\t\\b\\f\\u0000\\u001b\x7f"'),
        ((1, "x"), b'[1,"x"]'),
        ([], b"[]"),
        ({}, b"{}"),
        ({"b": 1, "a": 2}, b'{"a":2,"b":1}'),
        ({"a": 1, "Z": 2, "ab": 3, "\u00e9": 4}, '{"Z":2,"a":1,"ab":3,"\u00e9":4}'.encode()),
        ({1: "x", "1": "y"}, b'{"1":"y"}'),
        ({True: 1, None: 2, 2.5: 3}, b'{"2.5":3,"null":2,"true":1}'),
        ({"k": [{"z": None, "y": [1.25, -3]}]}, b'{"k":[{"y":[1.25,-3],"z":null}]}'),
        (nested(127), b"[" * 127 + b"]" * 127),
    ],
    ids=repr,
)
def test_tracked_value_text(trovik, root, value, text):
    assert value_text(track_lines(trovik, value)) == text


@pytest.mark.parametrize(
    "value, message",
    [
        (float("nan"), "expected value at line 1 column 1"),
        (float("inf"), "expected value at line 1 column 1"),
        ([1.0, float("inf")], "expected value at line 1 column 7"),
        (-float("inf"), "invalid number at line 1 column 2"),
        ({"x": float("nan")}, "expected value at line 1 column 7"),
        ("\udc00", "lone leading surrogate in hex escape at line 1 column 7"),
        ("a\ud800", "unexpected end of hex escape at line 1 column 9"),
        ("\ud800x", "unexpected end of hex escape at line 1 column 8"),
        (nested(128), "recursion limit exceeded at line 1 column 128"),
    ],
    ids=repr,
)
def test_unreadable_values_raise_and_append_nothing(trovik, root, value, message):
    run = trovik.Experiment("demo")
    with pytest.raises(ValueError) as caught:
        run.track(value)
    assert type(caught.value) is ValueError
    assert caught.value.args == (message,)
    assert len(read_records(run.path)) == 1


def circular():
    value = []
    value.append(value)
    return value


@pytest.mark.parametrize(
    "value, error",
    [(object(), TypeError), ({1, 2}, TypeError), (circular(), ValueError), (b"x", TypeError)],
    ids=["object", "set", "circular", "bytes"],
)
def test_json_dumps_exceptions_pass_through(trovik, root, value, error):
    run = trovik.Experiment("demo")
    with pytest.raises(error) as caught:
        json.dumps(value)
    expected = caught.value.args
    with pytest.raises(error) as caught:
        run.track(value)
    assert caught.value.args == expected
    assert len(read_records(run.path)) == 1


@pytest.mark.parametrize(
    "dumped, message",
    [
        ("", "EOF while parsing a value at line 1 column 0"),
        ("[1,", "EOF while parsing a value at line 1 column 3"),
        ("[1", "EOF while parsing a list at line 1 column 2"),
        ('{"a":1', "EOF while parsing an object at line 1 column 6"),
        ('"abc', "EOF while parsing a string at line 1 column 4"),
        ("[1,]", "trailing comma at line 1 column 4"),
        ('{"a":1,}', "trailing comma at line 1 column 8"),
        ('{"a" 1}', "expected `:` at line 1 column 6"),
        ("[1 2]", "expected `,` or `]` at line 1 column 4"),
        ('{"a":1 "b":2}', "expected `,` or `}` at line 1 column 8"),
        ("{1:2}", "key must be a string at line 1 column 2"),
        ("nul", "EOF while parsing a value at line 1 column 3"),
        ("nulx", "expected ident at line 1 column 4"),
        ('"\\x"', "invalid escape at line 1 column 3"),
        ('"a\x01"', "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"),
        ("01", "invalid number at line 1 column 2"),
        ("1.", "EOF while parsing a value at line 1 column 2"),
        ("1.x", "invalid number at line 1 column 3"),
        ("1 2", "trailing characters at line 1 column 3"),
        ("[\n1,\n  x]", "expected value at line 3 column 3"),
    ],
)
def test_replaced_dumps_drives_reader_errors(trovik, root, monkeypatch, dumped, message):
    run = trovik.Experiment("demo")
    monkeypatch.setattr(json, "dumps", lambda obj: dumped)
    with pytest.raises(ValueError) as caught:
        run.track(1)
    assert caught.value.args == (message,)
    monkeypatch.undo()
    assert len(read_records(run.path)) == 1


def test_replaced_dumps_is_used_for_every_call(trovik, root, monkeypatch):
    run = trovik.Experiment("demo")
    monkeypatch.setattr(json, "dumps", lambda obj: ' {"b": [1, 2.50], "a": "\\u00e9\\ud83d\\ude00"} ')
    run.track(None)
    monkeypatch.setattr(json, "dumps", lambda obj: 5)
    with pytest.raises(TypeError) as caught:
        run.track(None)
    assert caught.value.args == ("'int' object cannot be converted to 'PyString'",)
    monkeypatch.undo()
    lines = read_lines(run.path)
    assert value_text(lines[1]) == '{"a":"\u00e9\U0001f600","b":[1,2.5]}'.encode()
    assert len(lines) == 3


def test_json_module_is_imported_on_every_call(trovik, root, monkeypatch):
    class FakeJson:
        @staticmethod
        def dumps(obj):
            return '"replaced"'

    run = trovik.Experiment("demo")
    monkeypatch.setitem(sys.modules, "json", FakeJson)
    run.track(1)
    monkeypatch.undo()
    run.track(1)
    assert [r["value"] for r in read_records(run.path)[1:]] == ["replaced", 1]


def test_track_record_envelope_and_key_order(trovik, root):
    run = trovik.Experiment(" demo ")
    run.track({"loss": 1, "acc": 2}, note="epoch 1")
    run.track(0.5)
    run.track(1, note="")
    run.track(1, note=None)
    lines = read_lines(run.path)[1:-1]
    with_note = re.match(
        rb'^\{"created_at":"([^"]+)","elapsed_ms":(\d+),"experiment_name":" demo ","kind":"track",'
        rb'"note":"epoch 1","run_id":"' + run.run_id.encode() + rb'","schema_version":1,'
        rb'"trovik_version":"' + re.escape(VERSION) + rb'","value":\{"acc":2,"loss":1\}\}$',
        lines[0],
    )
    assert with_note, lines[0]
    assert CREATED_AT.match(with_note.group(1))
    records = [json.loads(line) for line in lines]
    assert "note" not in records[1] and "note" not in records[3]
    assert records[2]["note"] == ""
    assert list(records[1]) == [
        "created_at", "elapsed_ms", "experiment_name", "kind", "run_id", "schema_version",
        "trovik_version", "value",
    ]
    elapsed = [r["elapsed_ms"] for r in records]
    assert elapsed == sorted(elapsed)
    assert read_records(run.path)[0]["kind"] == "run_start"


def test_created_at_is_utc_whatever_the_time_zone(root):
    code = (
        "import json, time, trovik\n"
        "before = time.time()\n"
        "run = trovik.Experiment('tz')\n"
        "run.track(1)\n"
        "after = time.time()\n"
        "line = open(run.path).read().splitlines()[1]\n"
        "print(json.loads(line)['created_at'], before, after)\n"
    )
    out = run_python(code, env={"TZ": "America/St_Johns"}).stdout.decode().split()
    from datetime import datetime

    stamp = datetime.fromisoformat(out[0]).timestamp()
    assert out[0].endswith("+00:00")
    assert float(out[1]) - 1 <= stamp <= float(out[2]) + 1


def test_metadata_goes_into_the_run_start_record(trovik, root):
    with_metadata = trovik.Experiment("demo", {"lr": 0.1, "tags": ("a", "b"), "b": None})
    assert read_records(with_metadata.path)[0]["value"]["metadata"] == {
        "b": None, "lr": 0.1, "tags": ["a", "b"],
    }
    for run in (trovik.Experiment("demo"), trovik.Experiment("demo", None),
                trovik.Experiment("demo", metadata=None)):
        assert "metadata" not in read_records(run.path)[0]["value"]
    falsy = trovik.Experiment("demo", metadata=0)
    assert read_records(falsy.path)[0]["value"]["metadata"] == 0


@pytest.mark.parametrize("metadata, error", [(object(), TypeError), (float("nan"), ValueError)])
def test_unconvertible_metadata_leaves_only_the_runs_directory(trovik, root, metadata, error):
    with pytest.raises(error):
        trovik.Experiment("demo", metadata)
    assert (root / "runs").is_dir()
    assert list((root / "runs").iterdir()) == []


def test_deleted_run_file_is_recreated_and_removed_directory_raises(trovik, root):
    run = trovik.Experiment("demo")
    os.remove(run.path)
    run.track(1)
    assert [r["kind"] for r in read_records(run.path)] == ["track"]
    os.remove(run.path)
    os.rmdir(root / "runs")
    with pytest.raises(OSError) as caught:
        run.track(2)
    assert type(caught.value) is OSError
    assert caught.value.args == ("No such file or directory (os error 2)",)
    assert caught.value.errno is None


def test_relative_path_stays_with_its_file_after_a_change_of_directory(trovik, workdir,
                                                                       monkeypatch):
    run = trovik.Experiment("demo")
    assert run.path == ".trovik/runs/" + run.run_id + ".jsonl"
    elsewhere = workdir / "elsewhere"
    (elsewhere / ".trovik" / "runs").mkdir(parents=True)
    monkeypatch.chdir(elsewhere)
    run.track(1)
    assert run.path == ".trovik/runs/" + run.run_id + ".jsonl"
    assert not (elsewhere / run.path).exists()
    assert [r["kind"] for r in read_records(workdir / run.path)] == ["run_start", "track"]


def test_run_file_mode_follows_the_umask(trovik, root):
    previous = os.umask(0o027)
    try:
        run = trovik.Experiment("demo")
    finally:
        os.umask(previous)
    assert os.stat(run.path).st_mode & 0o777 == 0o640


def test_a_line_without_line_feed_is_continued(trovik, root):
    run = trovik.Experiment("demo")
    with open(run.path, "ab") as f:
        f.write(b"partial")
    run.track(1)
    lines = read_lines(run.path)
    assert lines[1].startswith(b'partial{"created_at":')
    assert lines[2] == b""


def test_random_finite_doubles_round_trip_bit_exact(trovik, root):
    rng = random.Random(20261208)
    values = []
    while len(values) < 3000:
        (value,) = struct.unpack("<d", rng.getrandbits(64).to_bytes(8, "little"))
        if math.isfinite(value):
            values.append(value)
    values += [rng.uniform(-1, 1) * 10 ** rng.randint(-320, 300) for _ in range(2000)]
    values += [0.1 * i for i in range(1000)]
    run = trovik.Experiment("doubles")
    run.track(values)
    recorded = read_records(run.path)[1]["value"]
    assert len(recorded) == len(values)
    mismatches = [
        (a, b) for a, b in zip(values, recorded)
        if struct.pack("<d", a) != struct.pack("<d", float(b))
    ]
    assert mismatches == []


def test_dev_full_raises_and_the_run_recovers(trovik, root):
    run = trovik.Experiment("demo")
    saved = run.path + ".saved"
    os.rename(run.path, saved)
    os.symlink("/dev/full", run.path)
    with pytest.raises(ValueError) as caught:
        run.track({"x": 1})
    assert caught.value.args == ("No space left on device (os error 28)",)
    os.remove(run.path)
    os.rename(saved, run.path)
    run.track(2)
    assert [r["kind"] for r in read_records(run.path)] == ["run_start", "track"]


def test_file_size_limit_leaves_a_partial_line_then_a_fresh_one(root):
    code = (
        "import os, resource, signal, trovik\n"
        "assert signal.getsignal(signal.SIGXFSZ) == signal.SIG_IGN\n"
        "run = trovik.Experiment('limited')\n"
        "size = os.path.getsize(run.path)\n"
        "resource.setrlimit(resource.RLIMIT_FSIZE, (size + 100, resource.RLIM_INFINITY))\n"
        "try:\n"
        "    run.track('x' * 1000)\n"
        "except ValueError as e:\n"
        "    print(repr(e.args))\n"
        "assert os.path.getsize(run.path) == size + 100\n"
        "resource.setrlimit(resource.RLIMIT_FSIZE, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))\n"
        "run.track(1)\n"
        "print(run.path)\n"
    )
    out = run_python(code).stdout.decode().splitlines()
    assert out[0] == "('File too large (os error 27)',)"
    lines = read_lines(out[1])
    assert len(lines) == 4 and lines[-1] == b""
    assert json.loads(lines[0])["kind"] == "run_start"
    partial = lines[1]
    assert len(partial) == 100 and partial.startswith(b'{"created_at":') and b"}" not in partial
    assert json.loads(lines[2])["value"] == 1


def test_forked_writers_never_interleave_within_a_line(trovik, root):
    run = trovik.Experiment("fork")
    workers, per_worker = 4, 150
    children = []
    for worker in range(workers):
        pid = os.fork()
        if pid == 0:
            status = 0
            try:
                for i in range(per_worker):
                    run.track({"worker": worker, "i": i, "pad": "x" * (2000 + 97 * i)})
            except BaseException:
                status = 1
            os._exit(status)
        children.append(pid)
    for pid in children:
        assert os.waitpid(pid, 0)[1] == 0
    records = read_records(run.path)[1:]
    assert len(records) == workers * per_worker
    seen = {(r["value"]["worker"], r["value"]["i"]) for r in records}
    assert len(seen) == workers * per_worker


def test_threads_share_one_experiment(trovik, root):
    run = trovik.Experiment("threads")

    def work(n):
        for i in range(200):
            run.track({"thread": n, "i": i, "pad": "y" * 500})

    threads = [threading.Thread(target=work, args=(n,)) for n in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    records = read_records(run.path)[1:]
    assert len({(r["value"]["thread"], r["value"]["i"]) for r in records}) == 800 == len(records)
