"""Prints one run file as a table, with nothing but the standard library.

    python examples/read_run.py .trovik/runs/<run id>.jsonl

One row per tracked record: its elapsed time, its note and one column per key of the tracked
values (a value that is not an object is shown in a column named "value"). Lines that are not
whole JSON objects (a run cut short by a crash leaves its last line torn) are skipped and counted.
"""

import argparse
import json
import os
import sys


def read_records(path):
    """The file's records, and how many lines were skipped because they aren't JSON objects."""
    records, skipped = [], 0
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            try:
                record = json.loads(line)
            except ValueError:
                skipped += 1
                continue
            if isinstance(record, dict):
                records.append(record)
            else:
                skipped += 1
    return records, skipped


def cell(value):
    if isinstance(value, str):
        return value
    return json.dumps(value, sort_keys=True)


def table(records):
    """Header and rows of the tracked records; keys in the order they first appear."""
    keys = {}
    for record in records:
        value = record.get("value")
        for key in value if isinstance(value, dict) else ["value"]:
            keys.setdefault(key, None)
    header = ["elapsed ms", "note"] + list(keys)
    rows = []
    for record in records:
        value = record.get("value")
        columns = value if isinstance(value, dict) else {"value": value}
        rows.append([str(record.get("elapsed_ms", "")), record.get("note", "")]
                    + [cell(columns[key]) if key in columns else "" for key in keys])
    return header, rows


def print_table(header, rows):
    widths = [max(len(text) for text in column) for column in zip(header, *rows)]
    for line in [header] + rows:
        print("  ".join(text.ljust(width) for text, width in zip(line, widths)).rstrip())


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("run_file", help="a run file, .trovik/runs/<run id>.jsonl")
    args = parser.parse_args(argv)
    try:
        records, skipped = read_records(args.run_file)
    except OSError as error:
        parser.error(f"cannot read {args.run_file}: {error.strerror}")
    if not records or records[0].get("kind") != "run_start":
        parser.error(f"{args.run_file} is not a trovik run file (no run_start record first)")

    start = records[0]
    facts = start.get("value") or {}
    git = facts.get("git") or {}
    host = (facts.get("host") or {}).get("hostname")
    print(f"experiment {start.get('experiment_name')!r}, run {start.get('run_id')}")
    print(f"started {start.get('created_at')} on {host or 'unknown host'}, "
          f"commit {git.get('commit', '-')} ({git.get('branch', 'no git')}"
          f"{', dirty' if git.get('dirty') else ''})")
    if facts.get("metadata") is not None:
        print(f"metadata {json.dumps(facts['metadata'], sort_keys=True)}")
    print()
    tracked = [record for record in records[1:] if record.get("kind") == "track"]
    if tracked:
        print_table(*table(tracked))
    else:
        print("no tracked records")
    if skipped:
        print(f"\n{skipped} line(s) skipped: not a whole JSON object", file=sys.stderr)


if __name__ == "__main__":
    try:
        main()
    except BrokenPipeError:
        # The reader (head, less) went away: stop quietly, as other command-line tools do.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        sys.exit(1)
