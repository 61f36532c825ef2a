"""Runs trovik's benchmark scenarios, prints the table and optionally writes the figures as JSON.

    python benchmarks/run.py [--json results.json] [--only track_small,peers] [--strict]

Every figure is a median over interleaved trials; every budget is a ratio measured in this run.
"""

from __future__ import annotations

import argparse
import json
import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import report  # noqa: E402
import scenario_command  # noqa: E402
import scenario_dirty  # noqa: E402
import scenario_environment  # noqa: E402
import scenario_memory  # noqa: E402
import scenario_payload  # noqa: E402
import scenario_report  # noqa: E402
import scenario_scale  # noqa: E402
import scenario_serve  # noqa: E402
import scenario_peers  # noqa: E402
import scenario_snapshot_scale  # noqa: E402
import scenario_startup  # noqa: E402
import scenario_track  # noqa: E402
import scenario_track_parts  # noqa: E402

SCENARIOS = {
    "track_small": scenario_track.run,
    "track_parts": scenario_track_parts.run,
    "payload_1mb": scenario_payload.run,
    "startup_clean": scenario_startup.run,
    "startup_dirty": scenario_dirty.run,
    "environment": scenario_environment.run,
    "memory_50mb": scenario_memory.run,
    "peers": scenario_peers.run,
    "command": scenario_command.run,
    "scale": scenario_scale.run,
    "report": scenario_report.run,
    "serve": scenario_serve.run,
    "snapshot_scale": scenario_snapshot_scale.run_modified,
    "clean_rerun": scenario_snapshot_scale.run_clean_rerun,
    "large_untracked": scenario_snapshot_scale.run_large_untracked,
}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--json", metavar="PATH", help="write the figures here as JSON")
    parser.add_argument("--only", metavar="KEYS",
                        help="comma-separated scenario keys: " + ", ".join(SCENARIOS))
    parser.add_argument("--strict", action="store_true", help="exit 1 when a budget is missed")
    args = parser.parse_args()
    keys = args.only.split(",") if args.only else list(SCENARIOS)
    unknown = [key for key in keys if key not in SCENARIOS]
    if unknown:
        parser.error(f"unknown scenario: {', '.join(unknown)}")

    import trovik

    started = time.monotonic()
    print(f"trovik from {trovik.__file__}", flush=True)
    results = []
    failed = False
    for key in keys:
        print(f"running {key} ...", flush=True)
        scenario_started = time.monotonic()
        try:
            results.append(SCENARIOS[key](trovik))
        except Exception as error:  # report the scenario as failed and go on with the others
            traceback.print_exc()
            failed = True
            broken = harness.ScenarioResult(key, key, "s")
            broken.skipped = f"FAILED: {type(error).__name__}: {error}"
            results.append(broken)
        print(f"  {time.monotonic() - scenario_started:.1f} s", flush=True)

    print(report.table(results))
    counts = report.verdicts(results)
    print(f"\nbudgets: {counts['pass']} PASS, {counts['miss']} MISS "
          f"({time.monotonic() - started:.0f} s)")
    if args.json:
        with open(args.json, "w") as handle:
            json.dump(report.document(trovik, results, started), handle, indent=1)
            handle.write("\n")
    if failed:
        return 2
    return 1 if args.strict and counts["miss"] else 0


if __name__ == "__main__":
    sys.exit(main())
