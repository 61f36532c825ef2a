"""A plain loop over one hot path, to run under a profiler (it measures nothing itself).

    python benchmarks/profile_loop.py track 300000
    python benchmarks/profile_loop.py payload nested 20

track: track() of the small metrics dict. payload: track() of a ~1 MB value of the given shape
(floats, strings, nested) with json.dumps replaced by the precomputed text, so that the profile
holds the module's own work only. The run file is emptied now and then, outside the module.
"""

from __future__ import annotations

import json
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import payloads  # noqa: E402


def main() -> None:
    import trovik

    root = tempfile.mkdtemp(prefix="trovik-profile-")
    try:
        run(trovik, root)
    finally:
        shutil.rmtree(root, ignore_errors=True)


def run(trovik, root: str) -> None:
    os.environ["TROVIK_DIR"] = os.path.join(root, "out")
    os.chdir(root)  # outside any repository: the run start stays short
    exp = trovik.Experiment("profile")
    if sys.argv[1] == "track":
        value = {"loss": 0.4158263, "acc": 0.8812, "step": 1200}
        calls, empty_every = int(sys.argv[2]), 20000
    elif sys.argv[1] == "payload":
        value, _ = payloads.sized_value(sys.argv[2], 1_000_000)
        text = json.dumps(value)
        json.dumps = lambda obj: text
        calls, empty_every = int(sys.argv[3]), 1
    else:
        sys.exit(__doc__)
    for index in range(calls):
        exp.track(value)
        if index % empty_every == 0:
            open(exp.path, "wb").close()


if __name__ == "__main__":
    main()
