"""`trovik serve` opened as a user opens it: the printed URL in headless Chromium. The token must
leave the address bar, the cookie must carry the page's own requests, nothing may break its content
policy, and a run that appears later must show up without anyone reloading."""

import time

from selenium.common.exceptions import WebDriverException

import report_browser
from test_serve import DEADLINE, HOSTILE_NAME, runs_root, server, write_run  # noqa: F401


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
        assert HOSTILE_NAME in table_text(driver)
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
