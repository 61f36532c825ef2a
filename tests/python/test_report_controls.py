"""The report page's controls, each checked for its effect in headless Chromium, on a report of a
real sweep made by the module: 2 learning rates x 3 seeds, a loss falling from 20 to about 0.001
(its chart opens on a log axis) and an accuracy. The page must log no error and fetch nothing
whatever is clicked; how fast it redraws is measured by `make bench`, not here."""

import json
import math
import re
import subprocess

import pytest
from selenium.webdriver import ActionChains

import report_browser
from conftest import run_python
from test_report_browser import trovik_command

SWEEP = """
import json, math, random, trovik
ids = {}
for lr in (0.1, 1.0):
    for seed in range(3):
        random.seed(seed)
        run = trovik.Experiment("sweep", {"lr": lr, "seed": seed, "batch": 64})
        ids[f"{lr}/{seed}"] = run.run_id
        for step in range(300):
            loss = 20 * math.exp(-step * lr / 10) + 0.001 + random.random() * 0.01 * (1 + seed)
            run.track({"step": step, "loss": loss, "val": {"acc": 1 - loss / 21}})
print(json.dumps(ids))
"""
POWERS_OF_TEN = {"0.001", "0.01", "0.1", "1", "10", "100"}


@pytest.fixture(scope="module")
def sweep(tmp_path_factory):
    """The sweep's report, and its run ids by "lr/seed"."""
    directory = tmp_path_factory.mktemp("sweep")
    made = run_python(SWEEP, env={"TROVIK_DIR": str(directory / ".trovik")}, cwd=directory)
    page = directory / "report.html"
    subprocess.run([trovik_command(), "--root", str(directory / ".trovik"), "report", "-o",
                    str(page)], check=True, capture_output=True)
    return page, json.loads(made.stdout)


@pytest.fixture
def page(browser, sweep):
    requests, console = report_browser.open_page(browser, sweep[0])
    yield browser
    later = [m for m in browser.get_log("browser") if m["level"] in ("SEVERE", "WARNING")]
    assert (requests, console, later) == ([], [], [])
    assert report_browser.requests_since(browser) == []
    assert browser.execute_script("return window.__trovikCalls") == []


def click(driver, selector):
    driver.execute_script("document.querySelector(arguments[0]).click()", selector)


def set_value(driver, selector, value):
    driver.execute_script("""
        const control = document.querySelector(arguments[0]);
        control.value = arguments[1];
        control.dispatchEvent(new Event("input", { bubbles: true }));
        control.dispatchEvent(new Event("change", { bubbles: true }));
    """, selector, value)


def group_over_seed(driver, on):
    if driver.execute_script("return document.querySelector('.group-over input[value=seed]').checked") != on:
        click(driver, ".group-over input[value=seed]")


def plot(driver, name):
    return driver.find_element("css selector", f'figure[data-series="{name}"] .graph')


def visible_rows(driver):
    return driver.execute_script("""
        return [...document.querySelectorAll("#run-table tr[data-run]")]
          .filter((row) => !row.hidden).map((row) => row.dataset.run);
    """)


def test_loss_opens_on_a_log_axis_ticked_at_powers_of_ten(page):
    loss, accuracy = (report_browser.chart(page, name) for name in ("loss", "val.acc"))
    assert loss["log"] is True and accuracy["log"] is False
    assert set(loss["y_labels"]) <= POWERS_OF_TEN and len(loss["y_labels"]) >= 4
    click(page, 'figure[data-series="loss"] figcaption button')
    linear = report_browser.chart(page, "loss")
    assert linear["log"] is False
    assert not set(linear["y_labels"]) <= POWERS_OF_TEN


def test_smoothing_changes_the_line_and_keeps_the_raw_one_faintly(page):
    before = report_browser.chart(page, "loss")["lines"]
    set_value(page, "input[type=range]", "0.9")
    after = report_browser.chart(page, "loss")["lines"]
    for raw, smoothed in zip(before, after):
        assert raw["faint"] is None
        assert smoothed["faint"] == raw["main"]
        assert smoothed["main"] != raw["main"]
        roughness = lambda points: sum(abs(p[1] - q[1]) for p, q in zip(points, points[1:]))
        assert roughness(smoothed["main"]) < roughness(raw["main"])


def test_a_drag_zooms_every_chart_and_a_double_click_goes_back(page):
    full = report_browser.charts(page)
    assert full["loss"]["x_range"] == full["val.acc"]["x_range"]
    graph = plot(page, "loss")
    page.execute_script("arguments[0].scrollIntoView({block: 'center'})", graph)
    ActionChains(page).move_to_element_with_offset(graph, -120, 0).click_and_hold() \
        .move_by_offset(150, 0).release().perform()
    zoomed = report_browser.charts(page)
    low, high = zoomed["loss"]["x_range"]
    assert zoomed["val.acc"]["x_range"] == [low, high]
    assert full["loss"]["x_range"][0] < low < high < full["loss"]["x_range"][1]
    graph = plot(page, "loss")
    ActionChains(page).double_click(graph).perform()
    assert report_browser.charts(page)["val.acc"]["x_range"] == full["val.acc"]["x_range"]


def test_grouping_over_seed_gives_a_line_and_a_band_per_group(page):
    grouped = report_browser.chart(page, "loss")
    assert sorted(line["label"] for line in grouped["lines"]) == ["sweep lr=0.1", "sweep lr=1"]
    assert all(line["band"] and max(line["counts"]) == 3 for line in grouped["lines"])
    assert all("n=3" in text for text in grouped["legend"])
    group_over_seed(page, False)
    runs = report_browser.chart(page, "loss")
    assert len(runs["lines"]) == 6
    assert not any(line["band"] for line in runs["lines"])
    assert "sweep lr=1 seed=2" in [line["label"] for line in runs["lines"]]


def test_colour_by_a_key_gives_each_value_one_colour(page):
    group_over_seed(page, False)
    set_value(page, 'select[aria-label="colour"]', "lr")
    lines = report_browser.chart(page, "loss")["lines"]
    colours = {}
    for line in lines:
        colours.setdefault(line["label"].split()[1], set()).add(line["colour"])
    assert all(len(each) == 1 for each in colours.values()) and len(colours) == 2


def test_hiding_a_run_removes_it_from_every_chart(page, sweep):
    group_over_seed(page, False)
    hidden = sweep[1]["1.0/2"]
    page.execute_script(
        "document.querySelector(`#run-table tr[data-run='${arguments[0]}'] input`).click()", hidden)
    for name, facts in report_browser.charts(page).items():
        shown = [run for line in facts["lines"] for run in line["runs"]]
        assert hidden not in shown and len(shown) == 5, name
    group_over_seed(page, True)
    counts = [len(line["runs"]) for line in report_browser.chart(page, "loss")["lines"]]
    assert sorted(counts) == [2, 3]


def test_the_table_sorts_by_a_column_and_filters_runs(page, sweep):
    seeds = lambda: page.execute_script("""
        const column = [...document.querySelectorAll("#run-table thead th")]
          .findIndex((th) => th.textContent === "seed");
        return [...document.querySelectorAll("#run-table tr[data-run]")]
          .map((row) => row.children[column].textContent);
    """)
    page.execute_script("""
        [...document.querySelectorAll("#run-table thead th")]
          .find((th) => th.textContent === "seed").click();
    """)
    assert seeds() == ["0", "0", "1", "1", "2", "2"]
    page.execute_script("""
        [...document.querySelectorAll("#run-table thead th")]
          .find((th) => th.textContent === "seed").click();
    """)
    assert seeds() == ["2", "2", "1", "1", "0", "0"]

    chosen = sweep[1]["0.1/1"]
    set_value(page, "#run-tools input[type=search]", chosen[:8])
    assert visible_rows(page) == [chosen]
    lines = report_browser.chart(page, "loss")["lines"]
    assert [run for line in lines for run in line["runs"]] == [chosen]


def test_a_range_on_a_parallel_coordinates_axis_filters_the_runs(page, sweep):
    axis = page.find_element("css selector", 'rect.hit[data-axis="meta:lr"]')
    page.execute_script("arguments[0].scrollIntoView({block: 'center'})", axis)
    height = axis.size["height"]
    # From the top of the lr axis (lr = 1) to below its middle.
    ActionChains(page).move_to_element_with_offset(axis, 0, -height // 2 + 4).click_and_hold() \
        .move_by_offset(0, height * 3 // 5).release().perform()
    kept = {sweep[1][f"1.0/{seed}"] for seed in range(3)}
    assert set(visible_rows(page)) == kept
    lines = report_browser.chart(page, "loss")["lines"]
    assert {run for line in lines for run in line["runs"]} == kept


def test_the_read_out_lists_every_line_sorted_by_value(page):
    group_over_seed(page, False)
    report_browser.chart(page, "loss")
    ActionChains(page).move_to_element_with_offset(plot(page, "loss"), -150, 0).perform()
    rows = report_browser.wait_until(page, """
        !document.getElementById("readout").hidden &&
        [...document.querySelectorAll("#readout div[data-line]")].map((row) => ({
          value: row.querySelector(".value").textContent,
          nearest: row.classList.contains("nearest"),
        }))
    """)
    values = [float(row["value"]) for row in rows]
    assert len(values) == 6
    assert values == sorted(values, reverse=True)
    assert sum(row["nearest"] for row in rows) == 1


def test_changes_arriving_later_update_the_page_in_place(page, sweep):
    """What a live view will do: apply changes to the loaded page. The reader's zoom, smoothing and
    grouping stay; the new run joins its group, the table and the charts; a status shows."""
    graph = plot(page, "loss")
    page.execute_script("arguments[0].scrollIntoView({block: 'center'})", graph)
    ActionChains(page).move_to_element_with_offset(graph, -120, 0).click_and_hold() \
        .move_by_offset(150, 0).release().perform()
    set_value(page, "input[type=range]", "0.5")
    zoomed = report_browser.chart(page, "loss")["x_range"]
    failed = sweep[1]["1.0/0"]
    page.execute_script("""document.getElementById("trovik-data").apply({runs: [
        {id: "new-run", name: "sweep", status: "running", cells: ["new-run", "sweep"],
         metadata: [["batch", "64"], ["lr", "0.1"], ["seed", "3"]],
         series: [{name: "loss", count: 3, first: 20, last: 2, min: 2, max: 20, w: 0,
                   b: [1, 0, 0, 20, 1, 1, 10, 9, 1, 1, 10, 2]}]},
        {id: arguments[0], status: "failed"}]})""", failed)
    loss = report_browser.chart(page, "loss")
    assert loss["x_range"] == zoomed
    assert all(line["faint"] for line in loss["lines"])
    groups = {line["label"]: len(line["runs"]) for line in loss["lines"]}
    assert groups == {"sweep lr=0.1": 4, "sweep lr=1": 3}
    table = page.execute_script("""
        const heads = [...document.querySelectorAll("#run-table thead th")].map((th) => th.textContent);
        const status = heads.indexOf("status");
        return {rows: document.querySelectorAll("#run-table tr[data-run]").length,
                failed: document.querySelector(`tr[data-run='${arguments[0]}']`).children[status].textContent};
    """, failed)
    assert table == {"rows": 7, "failed": "failed"}


def test_long_runs_extremes_and_run_texts(browser, root, trovik, workdir):
    """A run far longer than the rest, values near the largest doubles, and names that are long
    or turn text right to left."""
    for index in range(3):
        run = trovik.Experiment("short", {"i": index})
        for step in range(200):
            run.track({"step": step, "loss": 1 / (step + 1)})
    right_to_left = "\u202eevil"
    long = trovik.Experiment(right_to_left + "x" * 300, {"i": 3})
    for step in range(0, 31_000, 100):
        long.track({"step": step, "loss": 1 / (step + 1), "huge": (-1) ** (step // 100) * 1.7e308, "top": 1.7e308})
    page = workdir / "report.html"
    subprocess.run([trovik_command(), "report", "-o", str(page)], check=True, capture_output=True)
    requests, console = report_browser.open_page(browser, page)
    assert (requests, console) == ([], [])

    loss = report_browser.chart(browser, "loss")
    assert loss["x_range"][1] < 300
    assert browser.execute_script("""
        const mark = document.querySelector('figure[data-series="loss"] .beyond');
        return !mark.hidden && mark.textContent.includes("1 run goes on");
    """)
    for name in ("huge", "top"):
        extreme = report_browser.chart(browser, name)
        assert len(extreme["y_labels"]) >= 2, name
        assert all(re.fullmatch(r"-?[\d.]+(e\d+)?", label) for label in extreme["y_labels"]), name
        assert all(math.isfinite(point[1]) for point in extreme["lines"][0]["main"])

    layout = browser.execute_script("""
        const figure = document.querySelector('figure[data-series="loss"]');
        const label = [...figure.querySelectorAll(".legend .label")]
          .find((each) => each.textContent.startsWith(arguments[0]));
        return {
          isolated: label.tagName === "BDI",
          inside: label.getBoundingClientRect().right <= figure.getBoundingClientRect().right + 1,
        };
    """, right_to_left)
    assert layout == {"isolated": True, "inside": True}

    set_value(browser, 'select[aria-label="x axis"]', "fraction")
    fraction = report_browser.chart(browser, "loss")
    assert fraction["x_range"][0] >= 0 and fraction["x_range"][1] <= 1.001
    assert browser.get_log("browser") == []
