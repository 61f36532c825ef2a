"""Reads a run file back into a table, with nothing but the standard library.

    python examples/read_run.py .trovik/runs/<run id>.jsonl
"""

import json
import sys


def main(path):
    with open(path, encoding="utf-8") as f:
        records = [json.loads(line) for line in f]
    start, tracked = records[0], records[1:]
    git = start["value"]["git"] or {}
    print(f"experiment {start['experiment_name']!r}, run {start['run_id']}")
    print(f"started {start['created_at']} on {start['value']['host']['hostname']}, "
          f"commit {git.get('commit', '-')} ({git.get('branch', 'no git')}"
          f"{', dirty' if git.get('dirty') else ''})\n")
    print(f"{'elapsed ms':>10}  {'note':<16}  value")
    for record in tracked:
        print(f"{record['elapsed_ms']:>10}  {record.get('note', ''):<16}  "
              f"{json.dumps(record['value'], sort_keys=True)}")


if __name__ == "__main__":
    main(sys.argv[1])
