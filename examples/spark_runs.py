"""Each run's metadata and last loss, on Spark, read straight from run files.

    python examples/spark_runs.py '/shared/project/.trovik/runs/*.jsonl'

Spark reads every file's schema before the query (its JSON reader samples every record by
default), so runs whose metadata keys differ come back side by side, missing keys as null. The
loss is the `loss` member of tracked values, taken at the highest `step`.
"""

import sys

from pyspark.sql import SparkSession

QUERY = """
SELECT s.run_id, s.experiment_name, to_json(s.value.metadata) AS metadata, l.last_loss
FROM records AS s
JOIN (SELECT run_id, max_by(value.loss, value.step) AS last_loss
      FROM records WHERE kind = 'track' GROUP BY run_id) AS l
  ON s.run_id = l.run_id
WHERE s.kind = 'run_start'
ORDER BY s.experiment_name
"""


def runs_summary(spark, pattern):
    spark.read.json(pattern).createOrReplaceTempView("records")
    return spark.sql(QUERY)


if __name__ == "__main__":
    session = SparkSession.builder.master("local[2]").appName("trovik-runs").getOrCreate()
    runs_summary(session, sys.argv[1]).show(truncate=False)
    session.stop()
