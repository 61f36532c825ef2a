"""Takes the README's screenshot of the live page: `trovik serve` over a sweep of 2 learning rates
x 2 seeds made by the module, each run closed by its `with` block (completed), and one more run
still being tracked (running), opened in headless Chromium (tests/python/report_browser.py).

    PYTHONPATH=build TROVIK_COMMAND=build/src/cli/trovik .venv/bin/python tools/serve_screenshot.py docs

Look at the picture it writes before committing it."""

import os
import random
import re
import signal
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tests", "python"))
import report_browser  # noqa: E402
import trovik  # noqa: E402
from report_screenshots import track_training  # noqa: E402

WIDTH = 1280
HEIGHT = 1500
RUNS = 5

# True once the loss chart draws a line for every run, the running one included.
ALL_DRAWN = """(() => {
  const figure = document.querySelector("figure[data-series='train.loss']");
  const lines = figure && !figure.hasAttribute("data-stale") ? (figure.lines || []) : [];
  return new Set(lines.flatMap((line) => line.runs.map((run) => run.id))).size >= %d;
})()""" % RUNS


def make_sweep(root):
    """The closed sweep, and the run still being tracked, which the caller closes."""
    os.environ["TROVIK_DIR"] = root
    for lr in (0.03, 0.3):
        for seed in range(2):
            with trovik.Experiment("resnet-cifar", {"lr": lr, "seed": seed, "batch": 128}) as run:
                track_training(run, lr, seed, random.Random(seed))
    running = trovik.Experiment("resnet-cifar", {"lr": 0.1, "seed": 0, "batch": 128})
    # Part way through its training: its line stops short of the others'.
    track_training(running, 0.1, 0, random.Random(0), until=1200)
    return running


def main(out_dir):
    command = os.environ.get("TROVIK_COMMAND", "trovik")
    with tempfile.TemporaryDirectory() as scratch:
        root = os.path.join(scratch, ".trovik")
        running = make_sweep(root)
        server = subprocess.Popen([command, "serve", "--root", root, "--port", "0"],
                                  stdout=subprocess.PIPE, text=True)
        try:
            url = server.stdout.readline().strip()
            assert re.fullmatch(r"http://127\.0\.0\.1:\d+/\?token=[0-9a-f]{32}", url), url
            driver = report_browser.start_browser(loopback=True)
            try:
                driver.set_window_size(WIDTH, HEIGHT)
                driver.get(url)
                assert report_browser.wait_until(driver, ALL_DRAWN), "the charts were not drawn"
                report_browser.charts(driver, "train.loss", "val.acc", "val.loss")
                driver.execute_script("scrollTo(0, 0)")
                report_browser.wait_until(driver, "true", frames=2)
                driver.save_screenshot(os.path.join(out_dir, "serve.png"))
            finally:
                driver.quit()
        finally:
            server.send_signal(signal.SIGTERM)
            server.wait(timeout=10)
            running.close()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "docs")
