"""Loads a report page in headless Chromium with the network cut off and gathers what a test needs
to judge it: the requests the page tried, console messages, alerts, and the drawn charts.

Charts are read through the state the page leaves on each figure for this purpose: `dygraph` (the
chart library's object: its options, its x range) and `lines` (what the page computed to draw).
Charts are drawn only once scrolled into view, so the helpers scroll to each one first."""

import json
import os
import shutil

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

# Any call of these from the page is recorded instead of shown, so a script that slipped in leaves
# a trace the test can read.
_TRAP = """
window.__trovikCalls = [];
for (const name of ["alert", "confirm", "prompt"]) {
  window[name] = (...args) => { window.__trovikCalls.push([name, String(args[0])]); };
}
// The second animation frame after DOMContentLoaded: every chart on the page has been painted.
document.addEventListener("DOMContentLoaded", () => requestAnimationFrame(() =>
  requestAnimationFrame(() => { window.__trovikDrawn = performance.now(); })));
"""


def browser_available():
    return shutil.which("chromium") is not None and shutil.which("chromedriver") is not None


def start_browser(loopback=False):
    """Headless Chromium that can reach nothing; with `loopback`, nothing but 127.0.0.1 (a
    server started by the test)."""
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for argument in (
        "--headless=new",
        "--no-sandbox",
        "--disable-gpu",
        "--disable-dev-shm-usage",
        "--hide-scrollbars",
        "--window-size=1280,900",
        # No name resolves and no proxy answers: nothing can leave the machine.
        "--host-resolver-rules=MAP * ~NOTFOUND" + (", EXCLUDE 127.0.0.1" if loopback else ""),
        "--proxy-server=http://127.0.0.1:9",
        "--allow-file-access-from-files",
    ):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    # Under the sanitizer run the interpreter has the sanitizer runtimes preloaded; the browser is
    # not ours to check and must not inherit them.
    environment = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS")}
    service = Service(executable_path=shutil.which("chromedriver"), env=environment)
    driver = webdriver.Chrome(options=options, service=service)
    driver.execute_cdp_cmd("Network.enable", {})
    driver.execute_cdp_cmd(
        "Network.emulateNetworkConditions",
        {"offline": not loopback, "latency": 0, "downloadThroughput": 0, "uploadThroughput": 0},
    )
    driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": _TRAP})
    driver.set_script_timeout(60)
    return driver


def open_page(driver, path, color_scheme="light"):
    """Loads `path` with the given colour preference; returns the URLs the page requested and the
    console messages it logged while loading."""
    driver.execute_cdp_cmd(
        "Emulation.setEmulatedMedia",
        {"features": [{"name": "prefers-color-scheme", "value": color_scheme}]},
    )
    driver.get_log("performance")
    driver.get_log("browser")
    url = "file://" + os.path.abspath(path)
    driver.get(url)
    driver.execute_async_script(
        "const done = arguments[0];"
        "const wait = () => window.__trovikDrawn ? done(true) : requestAnimationFrame(wait);"
        "wait();"
    )
    return requests_since(driver, url), driver.get_log("browser")


def requests_since(driver, page_url=None):
    """The URLs requested since the last look, other than the page itself."""
    requests = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] == "Network.requestWillBeSent":
            requests.append(message["params"]["request"]["url"])
    page_url = page_url or driver.current_url
    return [r for r in requests if r != page_url and not r.startswith("data:")]


def save_full_page(driver, path):
    height = driver.execute_script("return document.documentElement.scrollHeight")
    driver.set_window_size(1280, min(height + 20, 6000))
    driver.save_screenshot(str(path))
    driver.set_window_size(1280, 900)


# One chart as a test sees it: its lines (label, run ids, points drawn, band, raw line kept
# faintly, group counts), the chart library's log flag and x range, and the axis labels shown.
_DESCRIBE = """
const describe = (figure) => {
  const graph = figure.dygraph;
  return {
    lines: (figure.lines || []).map((line) => ({
      label: line.label,
      runs: line.runs.map((run) => run.id),
      names: line.runs.map((run) => run.name),
      main: line.main,
      faint: line.faint,
      band: line.band !== null,
      counts: line.counts,
      colour: line.colour,
    })),
    legend: [...figure.querySelectorAll(".legend li")].map((item) => item.textContent),
    drawn: Boolean(graph),
    log: graph ? graph.getOption("logscale") : null,
    x_range: graph ? graph.xAxisRange() : null,
    y_labels: [...figure.querySelectorAll(".dygraph-axis-label-y")].map((label) => label.textContent),
    x_labels: [...figure.querySelectorAll(".dygraph-axis-label-x")].map((label) => label.textContent),
  };
};
"""

# Scrolls to the chart(s) and waits, a bounded number of frames, until each is drawn afresh.
_DRAWN = _DESCRIBE + """
const [names, done] = arguments;
const figures = [...document.querySelectorAll("figure[data-series]")]
  .filter((figure) => names === null || names.includes(figure.dataset.series));
const facts = {};
const next = (i) => {
  if (i === figures.length) { done(facts); return; }
  const figure = figures[i];
  figure.scrollIntoView({ block: "center" });
  const wait = (frames) => {
    if (!figure.hasAttribute("data-stale") || frames > 600) {
      facts[figure.dataset.series] = describe(figure);
      next(i + 1);
    } else {
      requestAnimationFrame(() => wait(frames + 1));
    }
  };
  wait(0);
};
next(0);
"""


def charts(driver, *names):
    """{series name: chart facts} for the named charts (all when none are named)."""
    return driver.execute_async_script(_DRAWN, list(names) if names else None)


def chart(driver, name):
    return charts(driver, name)[name]


def wait_until(driver, condition, frames=600):
    """Polls `condition` (a JavaScript expression) in the page once per animation frame, for at
    most `frames` frames; returns its last value. Written into the script itself: the page's
    policy forbids building functions from strings."""
    return driver.execute_async_script("""
        const done = arguments[0];
        let frames = 0;
        const poll = () => {
          const value = (%s);
          if (value || frames++ > %d) done(value); else requestAnimationFrame(poll);
        };
        poll();
    """ % (condition, frames))
