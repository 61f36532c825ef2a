"""The same per-step record through other recorders, when they are importable (none is required).

MLflow: log_metric of loss and acc at the step (two calls: one per metric is its model), local
file store. jsonlines: its writer appending the value dict, once opening the file per record like
the module, once kept open and flushed per record.
"""

from __future__ import annotations

import contextlib
import logging
import os
import warnings

import fixtures
import harness

# Records per trial: enough for each recorder's batch to last a few milliseconds.
CALLS_PER_TRIAL = {"MLflow log_metric x2": 20}
DEFAULT_CALLS_PER_TRIAL = 2000
TRIALS = 11


def _mlflow_variant(root: str):
    import mlflow  # noqa: F401  (imported here so a broken install counts as absent)
    from mlflow.tracking import MlflowClient

    logging.getLogger("mlflow").setLevel(logging.ERROR)
    client = MlflowClient(tracking_uri="file://" + os.path.join(root, "mlruns"))
    experiment_id = client.create_experiment("bench")
    run_id = client.create_run(experiment_id).info.run_id
    step = [0]

    def log(value: dict) -> None:
        step[0] += 1
        client.log_metric(run_id, "loss", value["loss"], step=step[0])
        client.log_metric(run_id, "acc", value["acc"], step=step[0])

    return log


def _jsonlines_variants(root: str, stack: contextlib.ExitStack):
    import jsonlines

    path = os.path.join(root, "per-record.jsonl")

    def open_per_record(value: dict) -> None:
        with jsonlines.open(path, mode="a") as writer:
            writer.write(value)

    kept = stack.enter_context(open(os.path.join(root, "kept.jsonl"), "a"))
    # flush=True: each record reaches the file before write() returns, as with the module.
    kept_writer = jsonlines.Writer(kept, flush=True)
    return {"jsonlines, open per record": open_per_record, "jsonlines, kept open": kept_writer.write}


def run(trovik) -> harness.ScenarioResult:
    result = harness.ScenarioResult("peers", "the same record through other recorders", "s")
    value = {"loss": 0.4158263, "acc": 0.8812, "step": 1200}
    with fixtures.scratch("peers") as root, contextlib.ExitStack() as stack, \
            fixtures.environment(cwd=root, TROVIK_DIR=os.path.join(root, "out"),
                                 # The file store is what a local user gets without a server.
                                 MLFLOW_ALLOW_FILE_STORE="true", MLFLOW_DISABLE_TELEMETRY="true",
                                 DO_NOT_TRACK="true"), \
            warnings.catch_warnings():
        warnings.simplefilter("ignore")
        exp = trovik.Experiment("bench-peers")
        recorders = {"track": lambda v: exp.track(v)}
        try:
            recorders["MLflow log_metric x2"] = _mlflow_variant(root)
        except Exception as error:  # any import or set-up failure: the peer is not available
            result.notes.append(f"MLflow skipped: {type(error).__name__}: {error}"[:160])
        try:
            recorders.update(_jsonlines_variants(root, stack))
        except Exception as error:
            result.notes.append(f"jsonlines skipped: {type(error).__name__}: {error}"[:160])
        if len(recorders) == 1:
            result.skipped = "no peer importable (pip install -r benchmarks/requirements.txt)"
            return result
        result.samples = harness.interleave(
            {name: harness.timed_loop(lambda record=record: record(value),
                                      CALLS_PER_TRIAL.get(name, DEFAULT_CALLS_PER_TRIAL))
             for name, record in recorders.items()}, TRIALS)
    for name in result.samples:
        if name != "track":
            result.compare(name, "track")
    result.notes.append(f"{DEFAULT_CALLS_PER_TRIAL} records per trial (MLflow: "
                        f"{CALLS_PER_TRIAL['MLflow log_metric x2']}), {TRIALS} trials; no budgets")
    return result
