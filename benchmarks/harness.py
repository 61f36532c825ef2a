"""Interleaved trials and the statistics drawn from them.

The machines these figures come from are shared and noisy, so no absolute time is trusted on its
own: every compared variant runs once per trial, in an order that rotates from trial to trial, and a
comparison is the median of the per-trial ratios. A burst of load from a neighbour then lands on
both sides of a ratio instead of on one variant only.
"""

from __future__ import annotations

import gc
import statistics
import time
from dataclasses import dataclass, field
from typing import Callable, Dict, List, Optional

# One trial of one variant: runs it and returns the seconds (or bytes) per call that it measured.
Trial = Callable[[], float]


def quantile(samples: List[float], q: float) -> float:
    """Linear-interpolation quantile, q in [0, 1]."""
    ordered = sorted(samples)
    if len(ordered) == 1:
        return ordered[0]
    position = q * (len(ordered) - 1)
    low = int(position)
    high = min(low + 1, len(ordered) - 1)
    return ordered[low] + (ordered[high] - ordered[low]) * (position - low)


@dataclass
class Summary:
    median: float
    p25: float
    p75: float
    count: int

    @classmethod
    def of(cls, samples: List[float]) -> "Summary":
        return cls(statistics.median(samples), quantile(samples, 0.25), quantile(samples, 0.75),
                   len(samples))

    def relative_spread(self) -> float:
        """Half the interquartile range, relative to the median."""
        return (self.p75 - self.p25) / 2 / self.median if self.median else 0.0

    def to_json(self) -> dict:
        return {"median": self.median, "p25": self.p25, "p75": self.p75, "count": self.count}


@dataclass
class Comparison:
    """`variant` / `anchor`, per trial; with a budget when `op` is set ("<=" or ">=")."""

    variant: str
    anchor: str
    op: Optional[str] = None
    budget: Optional[float] = None
    ratio: Optional[Summary] = None

    @property
    def passed(self) -> Optional[bool]:
        if self.op is None or self.ratio is None:
            return None
        if self.op == "<=":
            return self.ratio.median <= self.budget
        return self.ratio.median >= self.budget

    def to_json(self) -> dict:
        return {
            "variant": self.variant,
            "anchor": self.anchor,
            "ratio": self.ratio.to_json() if self.ratio else None,
            "budget": None if self.op is None else f"{self.op} {self.budget:g}x",
            "pass": self.passed,
        }


@dataclass
class ScenarioResult:
    key: str
    title: str
    unit: str  # "s" for seconds per call, "B" for bytes
    samples: Dict[str, List[float]] = field(default_factory=dict)
    comparisons: List[Comparison] = field(default_factory=list)
    notes: List[str] = field(default_factory=list)
    skipped: Optional[str] = None

    def summary(self, variant: str) -> Summary:
        return Summary.of(self.samples[variant])

    def compare(self, variant: str, anchor: str, op: Optional[str] = None,
                budget: Optional[float] = None) -> Comparison:
        ratios = [v / a for v, a in zip(self.samples[variant], self.samples[anchor])]
        comparison = Comparison(variant, anchor, op, budget, Summary.of(ratios))
        self.comparisons.append(comparison)
        return comparison

    def to_json(self) -> dict:
        return {
            "key": self.key,
            "title": self.title,
            "unit": self.unit,
            "skipped": self.skipped,
            "variants": {name: dict(self.summary(name).to_json(), trials=self.samples[name])
                         for name in self.samples},
            "comparisons": [c.to_json() for c in self.comparisons],
            "notes": self.notes,
        }


def interleave(variants: Dict[str, Trial], trials: int, warmup: int = 1) -> Dict[str, List[float]]:
    """Runs every variant once per trial, rotating which goes first; warm-up trials are dropped."""
    names = list(variants)
    samples: Dict[str, List[float]] = {name: [] for name in names}
    for trial in range(warmup + trials):
        shift = trial % len(names)
        for name in names[shift:] + names[:shift]:
            figure = variants[name]()
            if trial >= warmup:
                samples[name].append(figure)
    return samples


class _NoCollection:
    """Keeps the cyclic collector out of a timed region, as timeit does, for every variant alike."""

    def __enter__(self):
        self._was_enabled = gc.isenabled()
        gc.disable()

    def __exit__(self, *exc):
        if self._was_enabled:
            gc.enable()


def timed_loop(call: Callable[[], object], calls: int,
               before: Optional[Callable[[], object]] = None) -> Trial:
    """A trial that times `calls` back-to-back calls; `before` runs untimed ahead of the batch."""

    def trial() -> float:
        if before is not None:
            before()
        with _NoCollection():
            start = time.perf_counter_ns()
            for _ in range(calls):
                call()
            elapsed = time.perf_counter_ns() - start
        return elapsed / calls / 1e9

    return trial


def timed_each(call: Callable[[], object], calls: int,
               before_each: Callable[[], object]) -> Trial:
    """A trial that times calls one by one, with untimed preparation ahead of each."""

    def trial() -> float:
        total = 0
        for _ in range(calls):
            before_each()
            with _NoCollection():
                start = time.perf_counter_ns()
                call()
                total += time.perf_counter_ns() - start
        return total / calls / 1e9

    return trial


def alternating(calls_by_name: Dict[str, Callable[[], object]], calls: int,
                first: int = 0) -> Dict[str, float]:
    """One trial of several variants whose calls alternate one by one, the order turning each
    round; returns seconds per call of each. For slow calls, where a batch of one variant could
    sit in a burst of load that the other's batch misses."""
    names = list(calls_by_name)
    totals = {name: 0 for name in names}
    with _NoCollection():
        for round_index in range(calls):
            shift = (first + round_index) % len(names)
            for name in names[shift:] + names[:shift]:
                start = time.perf_counter_ns()
                calls_by_name[name]()
                totals[name] += time.perf_counter_ns() - start
    return {name: total / calls / 1e9 for name, total in totals.items()}
