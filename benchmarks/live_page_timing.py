"""How fast the live page (`trovik serve`) follows a growing run, in headless Chromium and with
page-like clients: from a record appended by the module until the chart draws it; the same for 20
followers of the changes at once; and the first load of a page over many runs. The browser parts
use tests/python/report_browser.py."""

from __future__ import annotations

import http.client
import json
import os
import subprocess
import sys
import threading
import time
from typing import List

_TESTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python")

# Records as a training loop does, one batch whenever asked on stdin; answers with the last step
# and the wall-clock time just after the record was written.
RECORDER = """
import sys, time, trovik
run = trovik.Experiment("live", {"lr": 0.1})
print(run.run_id, flush=True)
step = 0
for line in sys.stdin:
    for _ in range(int(line)):
        run.track({"step": step, "loss": 100.0 / (step + 1)})
        step += 1
    print(step - 1, time.time(), flush=True)
run.close()
"""

# Resolves with the time (Date.now, ms) at which the loss chart first drew step arguments[0], or
# null after about 10 s of frames.
WAIT_FOR_STEP = """
const [step, done] = [arguments[0], arguments[1]];
let frames = 0;
const poll = () => {
  const figure = document.querySelector("figure[data-series='loss']");
  const drawn = figure && !figure.hasAttribute("data-stale") && (figure.lines || []).some(
    (line) => line.main.length > 0 && line.main[line.main.length - 1][0] >= step);
  if (drawn) done(Date.now());
  else if (frames++ > 1200) done(null);
  else requestAnimationFrame(poll);
};
poll();
"""


class Recorder:
    def __init__(self, root: str, trovik):
        env = dict(os.environ, TROVIK_DIR=root, PYTHONPATH=os.path.dirname(trovik.__file__))
        self.process = subprocess.Popen([sys.executable, "-c", RECORDER], env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.run_id = self.process.stdout.readline().strip()

    def track(self, records: int):
        """(last step, wall-clock seconds when it was written)."""
        self.process.stdin.write(f"{records}\n")
        self.process.stdin.flush()
        step, written = self.process.stdout.readline().split()
        return int(step), float(written)

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=30)


def append_to_drawn(url: str, recorder: Recorder, samples: int) -> List[float]:
    """Seconds from each appended record to the chart drawing it, one record at a time, with a
    pause of a varying length between them so that records fall anywhere in the watcher's cycle."""
    sys.path.insert(0, _TESTS)
    import report_browser

    driver = report_browser.start_browser(loopback=True)
    try:
        driver.get(url)
        if driver.execute_async_script(WAIT_FOR_STEP, 0) is None:
            raise RuntimeError("the live page never drew the run")
        driver.execute_script(
            "document.querySelector(\"figure[data-series='loss']\").scrollIntoView()")
        latencies = []
        for sample in range(samples):
            time.sleep(0.1 + (sample * 0.37) % 1.0)
            step, written = recorder.track(1)
            drawn = driver.execute_async_script(WAIT_FOR_STEP, step)
            latencies.append((drawn / 1000 - written) if drawn is not None else float("inf"))
        return latencies
    finally:
        driver.quit()


def followers_latency(port: int, cookie: str, recorder: Recorder, followers: int,
                      records: int) -> List[float]:
    """Seconds from each appended record until each of `followers` clients that follow the
    changes as the page does (long polls, one after another) has been told of it."""
    written_at = {}
    heard: List[float] = []
    seen = set()
    lock = threading.Lock()
    stop = threading.Event()

    def follow():
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        cursor = 0
        while not stop.is_set():
            connection.request("GET", f"/api/changes?since={cursor}", headers={"Cookie": cookie})
            changes = json.loads(connection.getresponse().read())
            arrived = time.time()
            for run in changes.get("runs", []) if cursor != 0 else []:
                for series in run.get("series", []):
                    if series["name"] != "loss":
                        continue
                    # Told of every record up to the count: each one heard once per follower.
                    with lock:
                        for record in range(series["count"]):
                            key = (threading.get_ident(), record)
                            if record in written_at and key not in seen:
                                seen.add(key)
                                heard.append(arrived - written_at[record])
            cursor = changes["cursor"]
        connection.close()

    base = _records_so_far(port, cookie, recorder.run_id)
    threads = [threading.Thread(target=follow, daemon=True) for _ in range(followers)]
    for thread in threads:
        thread.start()
    time.sleep(1.5)  # every follower past its first answer
    for index in range(records):
        time.sleep(0.25 + (index * 0.37) % 0.5)
        _, written = recorder.track(1)
        with lock:
            written_at[base + index] = written
    time.sleep(6)  # the last long polls come back
    stop.set()
    for thread in threads:
        thread.join(timeout=10)
    return heard


def _records_so_far(port: int, cookie: str, run_id: str) -> int:
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    connection.request("GET", f"/api/series?run={run_id}", headers={"Cookie": cookie})
    answer = json.loads(connection.getresponse().read())
    connection.close()
    for series in answer["runs"][0]["series"]:
        if series["name"] == "loss":
            return series["count"]
    return 0


def first_load(url: str) -> float:
    """Seconds from asking for the page until the charts of the runs it shows first are drawn."""
    sys.path.insert(0, _TESTS)
    import report_browser

    driver = report_browser.start_browser(loopback=True)
    try:
        driver.get(url)  # trades the token for the cookie
        start = time.time()
        # Opened at its charts, as a reader scrolls there: charts out of view are not drawn.
        driver.get(url.split("?")[0] + "?load=2#series")
        # Scrolled to once: a scroll on every frame lays out the 1,000-row page each time, which
        # slows the frames until the poll outlasts the script timeout. Bounded in time, not frames.
        drawn = driver.execute_async_script("""
            const done = arguments[0];
            const deadline = performance.now() + 30000;
            let scrolled = false;
            const poll = () => {
              const figure = document.querySelector("figure[data-series]");
              if (figure && !scrolled) scrolled = figure.scrollIntoView() || true;
              const lines = figure && !figure.hasAttribute("data-stale") ? (figure.lines || []) : [];
              const runs = new Set(lines.flatMap((line) => line.runs.map((run) => run.id)));
              if (runs.size >= 20) done(Date.now());
              else if (performance.now() > deadline) done(null);
              else requestAnimationFrame(poll);
            };
            poll();
        """)
        return drawn / 1000 - start if drawn is not None else float("inf")
    finally:
        driver.quit()
