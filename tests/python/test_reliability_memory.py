"""Long runs of track calls, successful and failing: resident memory stays flat, no descriptor is
left open, and the tracked objects keep their reference counts. Each case runs in a fresh
interpreter, so the test runner's own allocations do not blur the measurement."""

import json
import os

import pytest

import trovik
from conftest import run_python
from test_reliability_support import scaled

HERE = os.path.dirname(os.path.abspath(__file__))
CALLS = scaled(50_000, 1_000_000)
WARM_UP = 5_000
MAX_GROWTH = 2 * 1024 * 1024

# Per case: the code that builds `value` and `note` (and breaks the run, for failures), and the
# exception each call must raise, if any.
CASES = {
    "object": ("value = {'loss': 0.25, 'step': 3, 'tags': ['a', '\\u00e9'], "
               "'nested': {'x': [1, 2.5, None, True]}}", None),
    "long text": ("value = 'abc\\n\\u00e9' * 512; note = None", None),
    "float with note": ("value = 0.1", None),
    "reader error": ("value = [1.0, float('nan')]", "ValueError"),
    "dumps error": ("value = {'x': object()}", "TypeError"),
    "open error": ("value = [1, 2]; os.rename(runs, runs + '.gone')", "OSError"),
    "write error": ("value = [1, 2]; os.unlink(run.path); os.symlink('/dev/full', run.path)",
                    "ValueError"),
}

CHILD = r"""
import json, os, sys
import trovik
from test_reliability_support import open_descriptors, rss_bytes

run = trovik.Experiment("memory")
runs = os.path.dirname(run.path)
note = "".join(["note-", str(os.getpid())])
%(setup)s
expected = %(expected)s

def call():
    try:
        if note is None:
            run.track(value)
        else:
            run.track(value, note=note)
    except Exception as error:
        if type(error).__name__ != expected:
            raise
    else:
        assert expected is None

for _ in range(%(warm_up)d):
    call()
descriptors = open_descriptors()
def counts():
    return [sys.getrefcount(value), None if note is None else sys.getrefcount(note)]

refs = counts()
rss = rss_bytes()
for _ in range(%(calls)d):
    call()
print(json.dumps({
    "growth": rss_bytes() - rss,
    "descriptors": [descriptors, open_descriptors()],
    "refs": [refs, counts()],
    "lines": sum(1 for _ in open(run.path, "rb")) if os.path.isfile(run.path) else None,
}))
"""


@pytest.mark.parametrize("case", CASES)
def test_stress_memory_of_many_track_calls(tmp_path, case):
    setup, expected = CASES[case]
    module_dir = os.path.dirname(trovik.__file__)
    result = run_python(
        CHILD % {"setup": setup, "expected": repr(expected), "warm_up": WARM_UP, "calls": CALLS},
        env={"PYTHONPATH": os.pathsep.join([module_dir, HERE]),
             "TROVIK_DIR": str(tmp_path / "root")},
        cwd=tmp_path,
    )
    report = json.loads(result.stdout)
    assert report["growth"] < MAX_GROWTH, f"resident memory grew by {report['growth']} bytes"
    before, after = report["descriptors"]
    assert after == before
    before, after = report["refs"]
    assert after == before
    if expected is None:
        assert report["lines"] == 1 + WARM_UP + CALLS
    elif case in ("reader error", "dumps error"):
        assert report["lines"] == 1
