"""Measurements that must run in a process of their own.

startup: holds an optional amount of touched memory, then answers "trial <index> <calls>" lines on
standard input with one JSON line: the seconds per call of Experiment() and of the same child
programs started through subprocess.run, interleaved.

memory: makes one call (track, or json.dumps alone) on a large value and reports the peak growth
of the resident set during that call.
"""

from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import payloads  # noqa: E402
from fixtures import PROBE_COMMANDS, read_records  # noqa: E402

PAGE = os.sysconf("SC_PAGE_SIZE")


def status_kib(field: str) -> int:
    with open("/proc/self/status") as handle:
        for line in handle:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise KeyError(field)


def hold_touched_memory(gib: float) -> bytearray:
    held = bytearray(int(gib * (1 << 30)))
    # One written byte per page makes every page resident.
    pages = len(range(0, len(held), PAGE))
    held[::PAGE] = b"\x01" * pages
    return held


def same_children() -> None:
    for args in PROBE_COMMANDS:
        subprocess.run(("git", *args), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, check=False)
    subprocess.run(("hostname",), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                   stderr=subprocess.PIPE, check=False)


def startup(args: argparse.Namespace) -> None:
    import trovik

    held = hold_touched_memory(args.hold_gib) if args.hold_gib else None
    os.chdir(args.repo)
    os.environ["TROVIK_DIR"] = args.trovik_dir
    os.environ.pop("HOSTNAME", None)

    # The comparison only holds for a clean tree: a snapshot would add commands.
    exp = trovik.Experiment("bench-startup")
    git_value = read_records(exp.path)[0]["value"]["git"]
    ready = {"git": git_value, "rss_kib": status_kib("VmRSS"), "held": len(held or b"")}
    print(json.dumps(ready), flush=True)

    for line in sys.stdin:
        words = line.split()
        if words[0] == "quit":
            break
        index, calls = int(words[1]), int(words[2])
        figures = harness.alternating({
            "Experiment()": lambda: trovik.Experiment("bench-startup"),
            "subprocess.run": same_children,
        }, calls, first=index)
        print(json.dumps(figures), flush=True)


def memory(args: argparse.Namespace) -> None:
    import ctypes

    import trovik

    os.chdir(args.root)
    os.environ["TROVIK_DIR"] = os.path.join(args.root, "out")
    if args.shape == "nested records":
        value, text_bytes = payloads.sized_value("nested", args.text_bytes)
    else:
        value, text_bytes = payloads.flat_value(args.shape, args.text_bytes)
    exp = trovik.Experiment("bench-memory")
    call = {"track": lambda: exp.track(value), "json.dumps": lambda: json.dumps(value)}[args.call]

    # Free heap pages go back to the system first, so that the call cannot hide its growth in
    # memory that is resident but unused; then writing 5 to clear_refs resets the high-water mark
    # to the current resident set.
    ctypes.CDLL(None).malloc_trim(0)
    with open("/proc/self/clear_refs", "w") as handle:
        handle.write("5")
    before = status_kib("VmRSS")
    call()
    growth = (status_kib("VmHWM") - before) * 1024
    print(json.dumps({"text_bytes": text_bytes, "growth": growth}), flush=True)


def main() -> None:
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="mode", required=True)
    start = sub.add_parser("startup")
    start.add_argument("--repo", required=True)
    start.add_argument("--trovik-dir", required=True)
    start.add_argument("--hold-gib", type=float, default=0)
    mem = sub.add_parser("memory")
    mem.add_argument("--root", required=True)
    mem.add_argument("--shape", required=True)
    mem.add_argument("--text-bytes", type=int, required=True)
    mem.add_argument("--call", choices=("track", "json.dumps"), required=True)
    args = parser.parse_args()
    {"startup": startup, "memory": memory}[args.mode](args)


if __name__ == "__main__":
    main()
