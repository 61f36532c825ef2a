"""`trovik serve` opened as a user opens it: the printed URL in headless Chromium. The token must
leave the address bar, the cookie must carry the page's own requests, nothing may break its content
policy, and a run that appears later must show up without anyone reloading."""

import time

import pytest
from selenium.common.exceptions import WebDriverException

import report_browser
from test_serve import DEADLINE, HOSTILE_NAME, Server, runs_root, server, write_run  # noqa: F401

# Counts, from the document's first node on, how often the runs table is made anew (each time
# with a new header): once by the HTML, then once per redraw by the page.
COUNT_TABLE_REDRAWS = """
window.tableRedraws = 0;
new MutationObserver((records) => {
  for (const record of records) {
    const header = [...record.addedNodes].some((node) => node.nodeName === "THEAD");
    if (record.target.id === "run-table" && header) window.tableRedraws++;
  }
}).observe(document, { childList: true, subtree: true });
"""


def table_text(driver):
    """The runs table's text, or "" while the page is being replaced."""
    try:
        return driver.execute_script(
            "return document.getElementById('run-table').textContent")
    except WebDriverException:
        return ""


def test_the_page_drops_the_token_and_follows_new_runs(server, runs_root):  # noqa: F811
    assert report_browser.browser_available(), "chromium and chromedriver are missing"
    driver = report_browser.start_browser(loopback=True)
    try:
        driver.get(server.url)
        assert driver.current_url == f"http://127.0.0.1:{server.port}/"
        # The script's table fills once the first changes and their runs' series have come.
        deadline = time.monotonic() + DEADLINE
        while HOSTILE_NAME not in table_text(driver):
            assert time.monotonic() < deadline, "the run never showed"
            time.sleep(0.05)
        assert driver.execute_script("return document.cookie") == ""  # HttpOnly

        write_run(runs_root, "0d6f7c52-aaaa-4bbb-8ccc-000000000002", "appeared later",
                  created_at="2024-03-06T07:08:09.120+00:00")
        deadline = time.monotonic() + DEADLINE
        while "appeared later" not in (table_text(driver) or ""):
            assert time.monotonic() < deadline, "the new run never appeared"
            time.sleep(0.1)
        errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
        assert errors == []
    finally:
        driver.quit()


@pytest.mark.parametrize("runs", [3, 45])
def test_first_load_draws_the_table_once_with_the_newest_series(tmp_path, runs):
    (tmp_path / "runs").mkdir()
    for i in range(runs):
        write_run(tmp_path, f"0d6f7c52-aaaa-4bbb-8ccc-{i:012d}", f"run {i}", records=5,
                  created_at=f"2024-03-05T07:{i // 60:02d}:{i % 60:02d}.000+00:00")
    started = Server(tmp_path, "--port", "0")
    driver = report_browser.start_browser(loopback=True)
    try:
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                               {"source": COUNT_TABLE_REDRAWS})
        driver.get(started.url)
        drawn = report_browser.wait_until(driver, """(() => {
            const figure = document.querySelector("figure[data-series='loss']");
            return figure && !figure.hasAttribute("data-stale") && (figure.lines || []).length;
        })()""")
        assert drawn == min(runs, 20)
        # The HTML's table, the script's empty one, then the runs with their series at once.
        assert driver.execute_script("return window.tableRedraws") == 3
    finally:
        driver.quit()
        assert started.stop() == 0
