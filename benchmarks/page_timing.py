"""How fast a report page draws and redraws in headless Chromium (tests/python/report_browser.py):
from DOMContentLoaded until the charts in view are drawn, with the page opened at its charts; and
for each control (log axis, smoothing, grouping, hiding a run), from the change until every chart
in view is drawn again and the next frame is painted. Measured with performance.now() in the page;
the median of the trials after a first one that warms the browser up."""

from __future__ import annotations

import os
import statistics
import sys
from typing import Dict, List

MEASURE = """
const done = arguments[0];
const frame = () => new Promise((resolve) => requestAnimationFrame(() => resolve()));
const inView = () => [...document.querySelectorAll("figure[data-series]")].filter((figure) => {
  const box = figure.getBoundingClientRect();
  return !figure.hidden && box.bottom > 0 && box.top < innerHeight;
});
const settle = async () => {
  for (let i = 0; i < 1200 && inView().some((f) => f.hasAttribute("data-stale")); i++) await frame();
  await frame();
};
const timed = async (change) => {
  const start = performance.now();
  change();
  await settle();
  return (performance.now() - start) / 1000;
};
const input = (control, value) => {
  control.value = value;
  control.dispatchEvent(new Event("input"));
};
(async () => {
  await settle();
  const navigation = performance.getEntriesByType("navigation")[0];
  const out = { drawn: (performance.now() - navigation.domContentLoadedEventStart) / 1000 };
  out.log = await timed(() => inView()[0].querySelector("figcaption button").click());
  out.smoothing = await timed(() => input(document.querySelector("input[type=range]"), "0.6"));
  out.grouping = await timed(() => document.querySelector(".group-over input").click());
  out.hiding = await timed(() => document.querySelector("#run-table tr[data-run] input").click());
  out.charts = inView().length;
  done(out);
})();
"""


def page_timings(page: str, trials: int) -> Dict[str, List[float]]:
    """{what: seconds per trial} for the page at `page`, opened at its charts."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                    "python"))
    import report_browser

    driver = report_browser.start_browser()
    try:
        samples: Dict[str, List[float]] = {}
        for trial in range(trials + 1):
            # A new query each time: the same address would only scroll the loaded page.
            report_browser.open_page(driver, f"{page}?trial={trial}#series")
            figures = driver.execute_async_script(MEASURE)
            if trial == 0:
                continue
            for name, value in figures.items():
                samples.setdefault(name, []).append(value)
        return samples
    finally:
        driver.quit()


def median(samples: List[float]) -> float:
    return statistics.median(samples)
