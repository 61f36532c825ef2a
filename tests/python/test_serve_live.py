"""The live page as a reader watches it: `trovik serve` on a loopback port, headless Chromium on
its URL, and processes recording with the module. Records appended while the page is open must
reach the drawn chart without a reload and without undoing the reader's zoom; a run started later
must join the table. Every wait is bounded and polls for the event."""

import os
import subprocess
import sys
import time

import pytest
from selenium.webdriver import ActionChains

import report_browser
from test_serve import DEADLINE, Server

# Records as a training loop does, a batch whenever the test asks: one line on stdin is the
# number of records to add; the answer is the last step written.
RECORDER = """
import sys, trovik
run = trovik.Experiment("live", {"lr": float(sys.argv[1])})
print(run.run_id, flush=True)
step = 0
for line in sys.stdin:
    for _ in range(int(line)):
        run.track({"step": step, "loss": 100.0 / (step + 1)})
        step += 1
    print(step - 1, flush=True)
run.close()
"""


class Recorder:
    def __init__(self, root, lr):
        import trovik
        env = dict(os.environ, TROVIK_DIR=str(root),
                   PYTHONPATH=os.path.dirname(trovik.__file__))
        self.process = subprocess.Popen([sys.executable, "-c", RECORDER, str(lr)], env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.run_id = self.process.stdout.readline().strip()

    def track(self, records):
        self.process.stdin.write(f"{records}\n")
        self.process.stdin.flush()
        return int(self.process.stdout.readline())

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=DEADLINE)


def poll(read, accept, what):
    """Calls read() until accept(its value) holds, for at most DEADLINE seconds."""
    deadline = time.monotonic() + DEADLINE
    while True:
        value = read()
        if accept(value):
            return value
        assert time.monotonic() < deadline, f"{what}: last seen {value!r}"
        time.sleep(0.1)


def last_step_drawn(driver):
    loss = driver.execute_script("return document.querySelector(\"figure[data-series='loss']\")")
    if loss is None:
        return None
    lines = report_browser.chart(driver, "loss")["lines"]
    return max((point[0] for line in lines for point in line["main"]), default=None)


@pytest.fixture
def live(tmp_path):
    root = tmp_path / ".trovik"
    first = Recorder(root, 0.1)
    first.track(50)
    server = Server(root, "--port", "0")
    driver = report_browser.start_browser(loopback=True)
    yield server, driver, first, root
    driver.quit()
    first.close()
    server.process.kill()
    server.process.wait(timeout=DEADLINE)


def test_appended_records_extend_the_line_and_the_zoom_stays(live):
    server, driver, first, root = live
    driver.get(server.url)
    poll(lambda: last_step_drawn(driver), lambda step: step == 49, "the first records")

    graph = driver.find_element("css selector", "figure[data-series='loss'] .graph")
    driver.execute_script("arguments[0].scrollIntoView({block: 'center'})", graph)
    ActionChains(driver).move_to_element_with_offset(graph, -120, 0).click_and_hold() \
        .move_by_offset(150, 0).release().perform()
    zoomed = report_browser.chart(driver, "loss")["x_range"]
    assert zoomed[1] < 49

    assert first.track(50) == 99
    poll(lambda: last_step_drawn(driver), lambda step: step == 99, "the appended records")
    assert report_browser.chart(driver, "loss")["x_range"] == zoomed

    second = Recorder(root, 1.0)
    try:
        second.track(5)
        poll(lambda: driver.execute_script(
            "return document.querySelectorAll('#run-table tr[data-run]').length"),
            lambda rows: rows == 2, "the second run in the table")
        assert driver.execute_script("return location.href") == f"http://127.0.0.1:{server.port}/"
    finally:
        second.close()
    errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
    assert errors == []
