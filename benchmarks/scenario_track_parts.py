"""Where one small track call goes, in parts measured side by side (no budgets).

json.dumps: the conversion the module must call. open/write/close: the three system calls, from
Python. track, dumps precomputed: everything the module does itself (json.dumps replaced by a
function returning the same text), system calls included. The module's own share of a track call is
that last figure less the system calls.
"""

from __future__ import annotations

import json
import os

import fixtures
import harness
from scenario_track import APPEND_FLAGS

CALLS_PER_TRIAL = 2000
TRIALS = 21


def run(trovik) -> harness.ScenarioResult:
    result = harness.ScenarioResult("track_parts", "parts of a small track call (per call)", "s")
    value = {"loss": 0.4158263, "acc": 0.8812, "step": 1200}
    real_dumps = json.dumps
    text = real_dumps(value)
    with fixtures.scratch("parts") as root, fixtures.environment(
            cwd=root, TROVIK_DIR=os.path.join(root, "out")):
        exp = trovik.Experiment("bench-parts")
        exp.track(value)
        with open(exp.path, "rb") as handle:
            line = handle.readlines()[-1]
        plain_path = os.path.join(root, "plain.jsonl")

        def system_calls() -> None:
            fd = os.open(plain_path, APPEND_FLAGS, 0o666)
            try:
                os.write(fd, line)
            finally:
                os.close(fd)

        def precomputed() -> None:
            json.dumps = lambda obj: text
            try:
                exp.track(value)
            finally:
                json.dumps = real_dumps

        def empty_files() -> None:
            for path in (plain_path, exp.path):
                open(path, "wb").close()

        result.samples = harness.interleave({
            "track": harness.timed_loop(lambda: exp.track(value), CALLS_PER_TRIAL, empty_files),
            "json.dumps": harness.timed_loop(lambda: json.dumps(value), CALLS_PER_TRIAL),
            "open/write/close": harness.timed_loop(system_calls, CALLS_PER_TRIAL, empty_files),
            "track, dumps precomputed": harness.timed_loop(precomputed, CALLS_PER_TRIAL,
                                                           empty_files),
        }, TRIALS)
    for part in ("json.dumps", "open/write/close", "track, dumps precomputed"):
        result.compare(part, "track")
    result.notes.append(f"{CALLS_PER_TRIAL} calls per trial, {TRIALS} trials; ratios are shares "
                        "of one track call")
    return result
