"""Peak memory of tracking one value whose JSON text is 50 MB, as growth of the resident set's
high-water mark over the call, each call in a fresh process.

Three shapes span the range: 1 KiB strings (few large leaves), doubles (very many small leaves),
nested records (objects with mixed members). json.dumps of the same value, alone, is shown beside
each: it is part of every track call and sets the least that any dumps-based recorder needs.
"""

from __future__ import annotations

import json
import os
import subprocess
import sys

import fixtures
import harness

TEXT_BYTES = 50_000_000
SHAPES = ("strings", "floats", "nested records")
TRIALS = 2
WORKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "worker.py")


def run(trovik) -> harness.ScenarioResult:
    del trovik  # measured in fresh processes
    result = harness.ScenarioResult("memory_50mb", "peak RSS growth, one 50 MB value", "B")
    with fixtures.scratch("memory") as root:
        text_sizes = {}

        def measure(shape: str, call: str) -> float:
            done = subprocess.run(
                (sys.executable, WORKER, "memory", "--root", root, "--shape", shape,
                 "--text-bytes", str(TEXT_BYTES), "--call", call),
                check=True, stdout=subprocess.PIPE, text=True)
            figures = json.loads(done.stdout)
            text_sizes[shape] = figures["text_bytes"]
            return float(figures["growth"])

        # Growth is deterministic to within a few pages, so few processes suffice: two per
        # budgeted figure, one for the dumps-only reference; shapes alternate.
        samples = {}
        for trial in range(TRIALS):
            for shape in SHAPES:
                samples.setdefault(f"track {shape}", []).append(measure(shape, "track"))
                if trial == 0:
                    samples[f"json.dumps {shape}"] = [measure(shape, "json.dumps")]

    for shape in SHAPES:  # the anchor row first, then the two calls
        result.samples[f"text {shape}"] = [float(text_sizes[shape])] * TRIALS
        for call in ("track", "json.dumps"):
            result.samples[f"{call} {shape}"] = samples[f"{call} {shape}"]
    for shape in SHAPES:
        result.compare(f"track {shape}", f"text {shape}", "<=", 4.0)
        result.compare(f"json.dumps {shape}", f"text {shape}")
    result.notes.append(f"{TRIALS} fresh processes per track figure, 1 per json.dumps figure; "
                        "growth = VmHWM after the call - VmRSS before it, the high-water mark "
                        "reset through clear_refs")
    return result
