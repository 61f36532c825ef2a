"""Takes the README's screenshots of the report page: a sweep of 2 learning rates x 3 seeds made
by the module, grouped over its seeds, its loss on a log axis, with the hyperparameter charts; once
in light and once in dark colours, in headless Chromium (tests/python/report_browser.py).

    PYTHONPATH=build TROVIK_COMMAND=build/src/cli/trovik .venv/bin/python tools/report_screenshots.py docs

Look at every picture it writes before committing it."""

import math
import os
import random
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "python"))
import report_browser  # noqa: E402
import trovik  # noqa: E402

WIDTH = 1280
HEIGHT = 1900


def make_sweep(root):
    os.environ["TROVIK_DIR"] = root
    for lr in (0.03, 0.3):
        for seed in range(3):
            noise = random.Random(seed)
            with trovik.Experiment("resnet-cifar", {"lr": lr, "seed": seed, "batch": 128}) as run:
                track_training(run, lr, seed, noise)


def track_training(run, lr, seed, noise, until=2000):
    for step in range(0, until, 5):
        progress = step * lr / 60
        loss = 2.3 * math.exp(-progress) + 0.002 * (1 + seed) + abs(noise.gauss(0, 0.02)) * math.exp(-progress / 4)
        accuracy = 0.93 * (1 - math.exp(-progress)) - 0.01 * seed + noise.gauss(0, 0.006)
        value = {"step": step, "train": {"loss": loss}}
        if step % 50 == 0:
            value["val"] = {"loss": loss * 1.15 + 0.01, "acc": accuracy}
        run.track(value, note="lr decay" if step == 1000 else None)


def main(out_dir):
    command = os.environ.get("TROVIK_COMMAND", "trovik")
    with tempfile.TemporaryDirectory() as scratch:
        root = os.path.join(scratch, ".trovik")
        make_sweep(root)
        page = os.path.join(scratch, "report.html")
        subprocess.run([command, "--root", root, "report", "-o", page], check=True)
        driver = report_browser.start_browser()
        try:
            driver.set_window_size(WIDTH, HEIGHT)
            for scheme in ("light", "dark"):
                requests, console = report_browser.open_page(driver, page, scheme)
                assert (requests, console) == ([], []), (requests, console)
                driver.execute_script("""
                    const slider = document.querySelector("input[type=range]");
                    slider.value = "0.6";
                    slider.dispatchEvent(new Event("input"));
                """)
                report_browser.charts(driver, "train.loss", "val.acc", "val.loss")
                driver.execute_script("scrollTo(0, 0)")
                report_browser.wait_until(driver, "true", frames=2)
                driver.save_screenshot(os.path.join(out_dir, f"report-{scheme}.png"))
        finally:
            driver.quit()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "docs")
