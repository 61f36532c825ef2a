"""The printed table and the JSON document of one benchmark run."""

from __future__ import annotations

import os
import platform
import subprocess
import sys
import time
from typing import List, Optional

from harness import Comparison, ScenarioResult, Summary


def format_amount(value: float, unit: str) -> str:
    if unit == "B":
        return f"{value / 1e6:.1f} MB"
    for scale, name in ((1, "s"), (1e-3, "ms"), (1e-6, "µs")):
        if value >= scale:
            return f"{value / scale:.3g} {name}"
    return f"{value / 1e-9:.3g} ns"


def format_ratio(comparison: Comparison) -> str:
    r = comparison.ratio
    return f"{r.median:.2f}x {comparison.anchor} ({r.p25:.2f}-{r.p75:.2f})"


def _verdict(comparison: Optional[Comparison]) -> List[str]:
    if comparison is None:
        return ["", "", ""]
    budget = "" if comparison.op is None else f"{comparison.op} {comparison.budget:g}x"
    verdict = {None: "info", True: "PASS", False: "MISS"}[comparison.passed]
    return [format_ratio(comparison), budget, verdict]


def table(results: List[ScenarioResult]) -> str:
    lines = []
    header = ["variant", "median", "spread", "ratio (p25-p75)", "budget", "result"]
    for number, result in enumerate(results, 1):
        lines.append("")
        lines.append(f"{number}. {result.title}  [{result.key}]")
        if result.skipped:
            lines.append(f"   SKIPPED: {result.skipped}")
            lines.extend(f"   note: {note}" for note in result.notes)
            continue
        rows = [header]
        for variant in result.samples:
            summary: Summary = result.summary(variant)
            mine = [c for c in result.comparisons if c.variant == variant]
            cells = [variant, format_amount(summary.median, result.unit),
                     f"±{summary.relative_spread() * 100:.1f}%"]
            rows.append(cells + _verdict(mine[0] if mine else None))
            for extra in mine[1:]:
                rows.append(["", "", ""] + _verdict(extra))
        widths = [max(len(row[i]) for row in rows) for i in range(len(header))]
        for row in rows:
            lines.append("   " + "  ".join(cell.ljust(width) for cell, width in
                                           zip(row, widths)).rstrip())
        lines.extend(f"   note: {note}" for note in result.notes)
    return "\n".join(lines)


def verdicts(results: List[ScenarioResult]) -> dict:
    counted = [c.passed for r in results for c in r.comparisons if c.passed is not None]
    return {"pass": counted.count(True), "miss": counted.count(False)}


def _command_text(*command: str) -> str:
    try:
        return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              text=True, check=False).stdout.strip()
    except OSError:
        return ""


def machine(trovik) -> dict:
    return {
        "python": platform.python_version(),
        "trovik_module": os.path.abspath(trovik.__file__),
        "git": _command_text("git", "--version"),
        "kernel": platform.release(),
        "cpus": os.cpu_count(),
        "load_average": os.getloadavg(),
    }


def document(trovik, results: List[ScenarioResult], started: float) -> dict:
    return {
        "generated_at": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime()),
        "duration_s": round(time.monotonic() - started, 1),
        "machine": machine(trovik),
        "command": [os.path.basename(sys.argv[0])] + sys.argv[1:],
        "budgets": verdicts(results),
        "scenarios": [result.to_json() for result in results],
    }
