"""Run files written as the module writes them, for the reading benchmarks: generated at bench time
so the repository carries no data."""

from __future__ import annotations

import json
import os
import random
import uuid

ENVELOPE = ('{{"created_at":"2026-01-{day:02d}T{hour:02d}:{minute:02d}:{second:02d}.{ms:03d}+00:00",'
            '"elapsed_ms":{elapsed},"experiment_name":"{name}","kind":"{kind}","run_id":"{run_id}",'
            '"schema_version":1,"trovik_version":"0.1.2","value":{value}}}\n')


def _record(run_id: str, name: str, kind: str, value: str, elapsed: int, start: int) -> str:
    seconds = start + elapsed // 1000
    return ENVELOPE.format(day=1 + seconds // 86400 % 28, hour=seconds // 3600 % 24,
                           minute=seconds // 60 % 60, second=seconds % 60, ms=elapsed % 1000,
                           elapsed=elapsed, name=name, kind=kind, run_id=run_id, value=value)


def write_runs(root: str, runs: int, records: int, seed: int = 7) -> int:
    """`runs` run files of a run_start and `records - 1` track records each, under root/runs.
    Returns the bytes written."""
    rng = random.Random(seed)
    directory = os.path.join(root, "runs")
    os.makedirs(directory, exist_ok=True)
    total = 0
    for index in range(runs):
        run_id = str(uuid.UUID(int=rng.getrandbits(128), version=4))
        name = f"sweep-{index % 7}"
        start = index * 600
        metadata = {"lr": rng.choice([0.1, 0.01, 0.001]), "batch": rng.choice([32, 64]),
                    "model": "mlp"}
        run_start = {"git": {"branch": "main", "commit": "%040x" % rng.getrandbits(160),
                             "dirty": False},
                     "host": {"arch": "x86_64", "cpu_count": 8, "hostname": "bench",
                              "os": "linux", "username": "me"},
                     "metadata": metadata,
                     "process": {"argv": ["python", "train.py", f"--seed={index}"],
                                 "cwd": "/home/me/project", "pid": 1000 + index, "ppid": 1}}
        lines = [_record(run_id, name, "run_start",
                         json.dumps(run_start, separators=(",", ":"), sort_keys=True), 5, start)]
        loss = 2.5
        for step in range(records - 1):
            loss *= 0.995 + rng.random() * 0.004
            value = (f'{{"acc":{1 - loss / 3:.6f},"loss":{loss:.7f},"lr":{metadata["lr"]},'
                     f'"step":{step}}}')
            lines.append(_record(run_id, name, "track", value, 10 + step * 37, start))
        text = "".join(lines)
        with open(os.path.join(directory, f"{run_id}.jsonl"), "w") as f:
            f.write(text)
        total += len(text)
    return total


if __name__ == "__main__":
    import sys
    print(write_runs(sys.argv[1], int(sys.argv[2]), int(sys.argv[3])))
