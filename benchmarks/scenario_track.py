"""`track` of a small metrics dict against the least any recorder must do, and against plain Python.

floor: json.dumps of the value, then open/write/close of the very line the module writes. Any
recorder that converts with json.dumps and appends one line per call pays at least this.
naive: what a user would write by hand: build the record dict, dumps it with sorted keys, append
it through open(path, "a"). Shown for information, without a budget.
"""

from __future__ import annotations

import datetime
import json
import os
import time

import fixtures
import harness

APPEND_FLAGS = os.O_WRONLY | os.O_APPEND | os.O_CREAT | os.O_CLOEXEC
CALLS_PER_TRIAL = 2000
TRIALS = 31


def run(trovik) -> harness.ScenarioResult:
    result = harness.ScenarioResult("track_small", "track of a small dict (per call)", "s")
    value = {"loss": 0.4158263, "acc": 0.8812, "step": 1200}
    with fixtures.scratch("track") as root, fixtures.environment(
            cwd=root, TROVIK_DIR=os.path.join(root, "out")):
        exp = trovik.Experiment("bench-track")
        exp.track(value)
        # The last line is a track record of exactly this value: the floor writes the same bytes.
        with open(exp.path, "rb") as handle:
            line = handle.readlines()[-1]
        record_template = fixtures.read_records(exp.path)[-1]

        floor_path = os.path.join(root, "floor.jsonl")
        naive_path = os.path.join(root, "naive.jsonl")
        start = time.monotonic()

        def floor() -> None:
            json.dumps(value)
            fd = os.open(floor_path, APPEND_FLAGS, 0o666)
            try:
                os.write(fd, line)
            finally:
                os.close(fd)

        def naive() -> None:
            record = {
                "schema_version": 1,
                "trovik_version": record_template["trovik_version"],
                "run_id": exp.run_id,
                "experiment_name": exp.name,
                "kind": "track",
                "value": value,
                "created_at": datetime.datetime.now(datetime.timezone.utc).isoformat(),
                "elapsed_ms": int((time.monotonic() - start) * 1000),
            }
            with open(naive_path, "a") as handle:
                handle.write(json.dumps(record, sort_keys=True, separators=(",", ":")) + "\n")

        def truncate(path: str):
            # Every variant starts each trial with an empty file, so file size never differs.
            return lambda: open(path, "wb").close()

        result.samples = harness.interleave({
            "floor": harness.timed_loop(floor, CALLS_PER_TRIAL, truncate(floor_path)),
            "track": harness.timed_loop(lambda: exp.track(value), CALLS_PER_TRIAL,
                                        truncate(exp.path)),
            "naive": harness.timed_loop(naive, CALLS_PER_TRIAL, truncate(naive_path)),
        }, TRIALS)

        result.compare("track", "floor", "<=", 1.15)
        # Information only: naive/track is bounded by naive/floor, which measures the machine's
        # open/write/close against json.dumps more than it measures trovik.
        result.compare("naive", "track")
        result.notes.append(f"record line {len(line)} bytes; {CALLS_PER_TRIAL} calls per trial, "
                            f"{TRIALS} trials")
    return result
