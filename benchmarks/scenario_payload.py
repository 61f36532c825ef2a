"""The module's own cost on ~1 MB values: json.dumps is replaced by a function that returns the
precomputed text, so what is left is reading that text, building the record and writing the line.

The anchor is CPython's json.loads of the same text: the C reader every Python user already has.
"""

from __future__ import annotations

import json
import os

import fixtures
import harness
import payloads

TEXT_BYTES = 1_000_000
CALLS_PER_TRIAL = 3
TRIALS = 15


def run(trovik) -> harness.ScenarioResult:
    result = harness.ScenarioResult("payload_1mb", "module cost on ~1 MB values, dumps excluded",
                                    "s")
    real_dumps = json.dumps
    with fixtures.scratch("payload") as root, fixtures.environment(
            cwd=root, TROVIK_DIR=os.path.join(root, "out")):
        exp = trovik.Experiment("bench-payload")
        variants = {}
        texts = {}
        for shape in payloads.SHAPES:
            value, _ = payloads.sized_value(shape, TEXT_BYTES)
            text = real_dumps(value)
            texts[shape] = text

            def track(value=value, text=text) -> None:
                json.dumps = lambda obj, *args, **kwargs: text
                try:
                    exp.track(value)
                finally:
                    json.dumps = real_dumps

            def empty_run_file() -> None:
                # Appends would otherwise grow the file by a megabyte per call.
                open(exp.path, "wb").close()

            variants[f"json.loads {shape}"] = harness.timed_each(
                lambda text=text: json.loads(text), CALLS_PER_TRIAL, lambda: None)
            variants[f"track {shape}"] = harness.timed_each(track, CALLS_PER_TRIAL, empty_run_file)

        result.samples = harness.interleave(variants, TRIALS)
        for shape, text in texts.items():
            result.compare(f"track {shape}", f"json.loads {shape}", "<=", 1.0)
            result.notes.append(f"{shape}: text {len(text):,} bytes")
        result.notes.append(f"{CALLS_PER_TRIAL} calls per trial, {TRIALS} trials; the run file is "
                            "emptied before each timed call")
    return result
