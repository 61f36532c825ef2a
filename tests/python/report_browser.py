"""Loads a report page in headless Chromium with the network cut off and gathers what a test needs
to judge it: the requests the page tried, console messages, alerts, and the drawn charts."""

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
    requests = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] == "Network.requestWillBeSent":
            requests.append(message["params"]["request"]["url"])
    others = [r for r in requests if r != url and not r.startswith("data:")]
    return others, driver.get_log("browser")


def save_full_page(driver, path):
    height = driver.execute_script("return document.documentElement.scrollHeight")
    driver.set_window_size(1280, min(height + 20, 6000))
    driver.save_screenshot(str(path))
    driver.set_window_size(1280, 900)
