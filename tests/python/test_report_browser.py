"""`trovik report` on runs made by the module, opened in headless Chromium with the network cut off:
the page must fetch nothing, log no error, draw one chart per series and one line per run, name
every run in the legends, and show hostile run texts as text without running them. The controls
of the page are tested in test_report_controls.py."""

import os
import shutil
import subprocess
import sys

import pytest

import report_browser
from git_fixtures import git_environment, repository  # noqa: F401  (fixtures are found by name)

SCRIPT_BREAKOUT = "</script><script>alert(1)</script>"
ATTRIBUTE_BREAKOUT = '"><img src=x onerror=alert(2)>'

def trovik_command():
    return os.environ.get("TROVIK_COMMAND") or os.path.join(os.path.dirname(sys.executable),
                                                            "trovik")


@pytest.fixture
def runs(root, trovik):
    """Three runs: an ordinary one, one whose texts all try to break out of the page, and one with
    a constant series of a single point. Returns {name: series names}."""
    plain = trovik.Experiment("baseline", {"lr": 0.1, "optimizer": "sgd"})
    for step in range(200):
        value = {"loss": 2.0 / (step + 1), "val": {"acc": step / 200}, "step": step}
        plain.track(value, note="warm-up done" if step == 50 else None)

    hostile = trovik.Experiment(SCRIPT_BREAKOUT, {
        SCRIPT_BREAKOUT: ATTRIBUTE_BREAKOUT,
        ATTRIBUTE_BREAKOUT: SCRIPT_BREAKOUT,
        "lr": 0.01,
    })
    for step in range(150):
        note = ATTRIBUTE_BREAKOUT if step == 10 else SCRIPT_BREAKOUT if step == 20 else None
        hostile.track({"loss": 1.5 / (step + 1) + (3.0 if step == 77 else 0.0),
                       "val": {"acc": step / 150}, "step": step}, note=note)

    single = trovik.Experiment("single point", {"lr": 0.1, "optimizer": "adam"})
    single.track({"const": 4.0})
    return {  # charted against the step: the step itself is the axis, not a chart
        "baseline": {"loss", "val.acc"},
        SCRIPT_BREAKOUT: {"loss", "val.acc"},
        "single point": {"const"},
    }


def write_report(workdir, *arguments):
    output = workdir / "report.html"
    result = subprocess.run([trovik_command(), "report", *arguments, "-o", str(output)],
                            cwd=workdir, capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    return output


def page_facts(driver):
    facts = driver.execute_script("""
        const scripts = [...document.scripts];
        return {
          calls: window.__trovikCalls,
          scripts: scripts.filter((e) => e.type !== "application/json").length,
          data: scripts.filter((e) => e.type === "application/json").length,
          images: document.images.length,
          text: document.body.innerText,
          background: getComputedStyle(document.body).backgroundColor,
        };
    """)
    facts["charts"] = report_browser.charts(driver)
    facts["text"] = driver.execute_script("return document.body.innerText")
    return facts


@pytest.mark.parametrize("scheme", ["light", "dark"])
def test_report_page_in_a_browser(browser, runs, workdir, tmp_path, scheme):
    page = write_report(workdir)
    requests, console = report_browser.open_page(browser, page, scheme)
    facts = page_facts(browser)

    assert requests == [], "the page tried to fetch something"
    assert [m for m in console if m["level"] in ("SEVERE", "WARNING")] == []
    assert facts["calls"] == [], "a script from the run texts ran"
    assert facts["scripts"] == 1
    assert facts["data"] == 1
    assert facts["images"] == 0

    expected = {}
    for name, series in runs.items():
        for key in series:
            expected.setdefault(key, []).append(name)
    assert set(facts["charts"]) == set(expected)
    for key, names in expected.items():
        chart = facts["charts"][key]
        assert chart["drawn"], key
        assert sorted(name for line in chart["lines"] for name in line["names"]) == sorted(names)
        assert all(any(text.startswith(name) for text in chart["legend"]) for name in names), key
        assert len({line["colour"] for line in chart["lines"]}) == len(names), f"{key}: runs share a colour"

    for text in (SCRIPT_BREAKOUT, ATTRIBUTE_BREAKOUT, "warm-up done"):
        assert text in facts["text"]
    dark_background = facts["background"] in ("rgb(13, 17, 23)",)
    assert dark_background == (scheme == "dark")

    screenshot = tmp_path / f"report-{scheme}.png"
    report_browser.save_full_page(browser, screenshot)
    assert screenshot.stat().st_size > 10_000
    keep = os.environ.get("TROVIK_SCREENSHOT_DIR")
    if keep:
        shutil.copy(screenshot, keep)


def test_elapsed_axis_and_chosen_runs(browser, runs, workdir):
    page = write_report(workdir, "@1", "@3", "--x", "elapsed")
    requests, console = report_browser.open_page(browser, page)
    facts = page_facts(browser)
    assert requests == [] and console == []
    assert set(facts["charts"]) == {"const", "loss", "step", "val.acc"}
    assert [line["names"] for line in facts["charts"]["loss"]["lines"]] == [["baseline"]]
    assert facts["charts"]["loss"]["x_labels"][-1].endswith(" ms")


def test_failed_report_leaves_no_file(runs, workdir):
    target = workdir / "missing-directory" / "report.html"
    result = subprocess.run([trovik_command(), "report", "-o", str(target)], cwd=workdir,
                            capture_output=True, text=True)
    assert result.returncode == 1
    assert result.stderr.startswith("trovik: ")
    assert not target.parent.exists()


def test_code_of_each_run_collapsed(browser, repository, trovik):
    clean = trovik.Experiment("clean")
    clean.track(1)
    repository.write("train.py", "print('</pre><script>alert(3)</script>')\n")
    dirty = trovik.Experiment("dirty")
    dirty.track(2)

    page = write_report(repository.path)
    requests, console = report_browser.open_page(browser, page)
    assert requests == [] and console == []
    sections = browser.execute_script("""
        return [...document.querySelectorAll("#details article")].map((run) => ({
          name: run.querySelector("h3").textContent,
          open: [...run.querySelectorAll("details")].map((d) => d.open),
          diff: [...run.querySelectorAll("pre.diff")].map((d) => d.textContent).join(""),
          code: [...run.querySelectorAll("p.code")].map((p) => p.textContent).join(""),
        }));
    """)
    by_name = {s["name"].replace(clean.run_id, "").replace(dirty.run_id, ""): s for s in sections}
    assert by_name["dirty"]["open"] == [False]
    assert "+print('</pre><script>alert(3)</script>')" in by_name["dirty"]["diff"]
    assert "-print('train')" in by_name["dirty"]["diff"]
    assert by_name["clean"]["open"] == []
    assert by_name["clean"]["code"].startswith("commit ")
    assert browser.execute_script("return window.__trovikCalls") == []
