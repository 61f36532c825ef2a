"""Runs examples/spark_runs.py's query on run files made by the installed module and checks that
every run comes back with its metadata and its exact last loss. Run by `make spark-check`."""

import json
import os
import sys
import tempfile

from pyspark.sql import SparkSession

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples"))
import spark_runs  # noqa: E402
import trovik  # noqa: E402

LOSSES = [0.055364750824420376, 0.30000000000000004, 2.718281828459045]
RUNS = [("baseline", {"lr": 0.1}, 3), ("batched", {"lr": 0.01, "batch": 64}, 2),
        ("adam", {"optimizer": "adam"}, 7)]


def main():
    with tempfile.TemporaryDirectory() as root:
        os.environ["TROVIK_DIR"] = root
        expected = {}
        for name, metadata, steps in RUNS:
            run = trovik.Experiment(name, metadata=metadata)
            for step in range(steps):
                run.track({"step": step, "loss": LOSSES[step % len(LOSSES)]})
            expected[run.run_id] = (name, metadata, LOSSES[(steps - 1) % len(LOSSES)])

        spark = (SparkSession.builder.master("local[2]").appName("spark-check")
                 .config("spark.ui.showConsoleProgress", "false").getOrCreate())
        spark.sparkContext.setLogLevel("ERROR")
        summary = spark_runs.runs_summary(spark, os.path.join(root, "runs", "*.jsonl"))
        summary.show(truncate=False)
        rows = summary.collect()
        spark.stop()

    found = {row.run_id: (row.experiment_name, json.loads(row.metadata), row.last_loss)
             for row in rows}
    if found != expected:
        sys.exit(f"spark-check: expected {expected}\n  got {found}")
    print(f"spark-check: {len(found)} runs, metadata and last loss exact")


if __name__ == "__main__":
    main()
