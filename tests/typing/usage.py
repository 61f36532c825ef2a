"""Typed use of trovik, checked by mypy against the installed stubs."""

import copy
import pickle
from typing import Dict, List

import trovik


def record(losses: List[float], config: Dict[str, float]) -> str:
    run = trovik.Experiment("typed", metadata=config)
    for step, loss in enumerate(losses):
        run.track({"step": step, "loss": loss}, note=None if step else "first step")
    run_id: str = run.run_id
    path: str = run.path
    name: str = run.name
    exported: List[str] = trovik.__all__
    # Copies and pickles for worker processes need nothing beyond the object's own protocol.
    clone: trovik.Experiment = copy.deepcopy(run)
    data: bytes = pickle.dumps(clone)
    return run_id + path + name + exported[0] + str(len(data))


def train(steps: int) -> float:
    # Returning from inside the block type-checks only because __exit__ never swallows.
    with trovik.Experiment("typed-with") as run:
        run.record_environment()
        loss = 0.0
        for step in range(steps):
            loss = 1.0 / (step + 1)
            run.track({"loss": loss})
        return loss


def close_by_hand() -> None:
    run = trovik.Experiment("typed-close")
    run.close()
