// The series charts: a section per first part of the dotted name, a figure per series, drawn by
// the chart library only while in view, so that a run with a thousand per-class series stays
// responsive. Zoom is shared: a drag on one chart zooms every chart, a double-click goes back to
// the opening range. Hovering shows a cursor on every chart and the read-out of the one under
// the pointer.

const KEPT_GRAPHS = 24;
const KNOWN_STATUSES = new Set(["completed", "failed", "interrupted", "running", "stopped", "unknown"]);

function sectionOf(name) {
  const dot = name.indexOf(".");
  return dot > 0 ? name.slice(0, dot) : "";
}

function createCharts(view, readout) {
  const state = view.state;
  const container = document.getElementById("charts");
  const entries = new Map();
  const sections = new Map();
  const byFigure = new Map();
  let alive = [];
  let pending = false;
  let resetting = false;
  let printing = false;
  let perRefresh = null;
  const empty = element("p", { className: "empty", text: "These runs tracked no numbers." });
  container.append(empty);

  const observer = new IntersectionObserver((records) => {
    for (const record of records) byFigure.get(record.target).visible = record.isIntersecting;
    scheduleDraws();
  }, { rootMargin: "300px 0px" });

  // What every chart of one refresh shares: the shown runs, the line choices, the opening range.
  function shared() {
    if (perRefresh) return perRefresh;
    const runs = view.shownRuns();
    perRefresh = { runs, lineView: view.chartView(), opening: openingRange(runs) };
    return perRefresh;
  }

  function openingRange(runs) {
    if (state.x === "fraction") return null;
    const starts = [];
    const ends = [];
    for (const run of runs) {
      let start = Infinity;
      let end = -Infinity;
      for (const series of run.series.values()) {
        if (series.buckets.length === 0) continue;
        const first = series.buckets[0];
        const last = series.buckets[series.buckets.length - 1];
        start = Math.min(start, state.x === "elapsed" ? first.e0 / 1000 : first.s0);
        end = Math.max(end, state.x === "elapsed" ? last.e1 / 1000 : last.s1);
      }
      if (end >= start) {
        starts.push(start);
        ends.push(end);
      }
    }
    return defaultXRange(starts, ends);
  }

  const xWindow = () => state.xRange ?? shared().opening?.range ?? null;

  function createEntry(name) {
    const logButton = element("button", {
      text: "log",
      attributes: { type: "button", "aria-pressed": "false", title: "Logarithmic y axis" },
    });
    const graphNode = element("div", { className: "graph" });
    graphNode.style.height = "100%";
    const cursor = element("div", { className: "cursor", attributes: { hidden: "" } });
    const beyond = element("button", { className: "beyond", attributes: { type: "button", hidden: "" } });
    const legend = element("ul", { className: "legend" });
    const figure = element("figure", { attributes: { "data-series": name } }, [
      element("figcaption", {}, [element("h3", {}, [isolated(name)]), logButton]),
      element("div", { className: "plot" }, [graphNode, cursor, beyond]),
      legend,
    ]);
    const entry = {
      name, figure, graphNode, cursor, beyond, legend, logButton,
      graph: null, visible: false, stale: true, lines: [], columns: [], data: null,
    };
    entry.handlers = {
      plain: seriesHandler(() => entry.columns, Dygraph.DataHandlers.DefaultHandler),
      bars: seriesHandler(() => entry.columns, Dygraph.DataHandlers.CustomBarsHandler),
    };
    logButton.addEventListener("click", () => {
      state.logByChart.set(name, logButton.getAttribute("aria-pressed") !== "true");
      draw(entry);
    });
    beyond.addEventListener("click", () => zoom(null, true));
    byFigure.set(figure, entry);
    observer.observe(figure);
    markStale(entry);
    return entry;
  }

  // Figures for every series, in sections by the first part of their names, in name order; a
  // figure made before keeps its place in the document and its chart.
  function layout() {
    const bySection = new Map();
    for (const name of [...view.store.seriesNames].sort()) {
      if (!entries.has(name)) entries.set(name, createEntry(name));
      const section = sectionOf(name);
      if (!bySection.has(section)) bySection.set(section, []);
      bySection.get(section).push(entries.get(name).figure);
    }
    for (const section of [...bySection.keys()].sort()) {
      if (!sections.has(section)) {
        const grid = element("div", { className: "charts" });
        const title = section ? [element("h3", {}, [isolated(section + ".*")])] : [];
        sections.set(section, { node: element("div", { className: "chart-section" }, [...title, grid]), grid });
      }
      const { node, grid } = sections.get(section);
      container.append(node);
      grid.append(...bySection.get(section));
    }
    empty.hidden = entries.size > 0;
  }

  function applySeriesFilter() {
    const words = state.seriesFilter.trim().toLowerCase().split(/\s+/).filter(Boolean);
    for (const entry of entries.values()) {
      const name = entry.name.toLowerCase();
      entry.figure.hidden = !words.every((word) => name.includes(word));
    }
    for (const { node, grid } of sections.values()) {
      node.hidden = ![...grid.children].some((figure) => !figure.hidden);
    }
  }

  function renderLegend(entry) {
    entry.legend.replaceChildren(...entry.lines.map((line) => {
      const item = element("li", { attributes: { title: line.runs.map((run) => run.id).join("\n") } }, [
        swatch(line.colour, line.dashed),
        isolated(line.label, "label"),
      ]);
      if (line.counts) item.append(element("span", { className: "count", text: "n=" + line.runs.length }));
      const status = line.runs.length === 1 ? line.runs[0].status : "";
      if (status) {
        const mark = element("span", { className: "count" }, [isolated(status)]);
        if (KNOWN_STATUSES.has(status)) mark.classList.add("status-" + status);
        item.append(mark);
      }
      return item;
    }));
  }

  function chooseLog(entry) {
    const chosen = state.logByChart.get(entry.name);
    if (chosen !== undefined) return chosen;
    let min = Infinity;
    let max = -Infinity;
    for (const line of entry.lines) {
      for (const run of line.runs) {
        const series = run.series.get(entry.name);
        min = Math.min(min, series.min);
        max = Math.max(max, series.max);
      }
    }
    return prefersLogScale(min, max);
  }

  function release(entry) {
    if (!entry.graph) return;
    entry.graph.destroy();
    entry.graph = null;
    entry.graphNode.replaceChildren();
    delete entry.figure.dygraph;
    alive = alive.filter((each) => each !== entry);
  }

  function showBeyond(entry) {
    const opening = shared().opening;
    const window = xWindow();
    const end = window ? window[1] : Infinity;
    const beyond = entry.lines.filter((line) => line.main.length > 0 && line.main[line.main.length - 1][0] > end);
    entry.beyond.hidden = state.xRange !== null || !opening || beyond.length === 0;
    if (!entry.beyond.hidden) {
      entry.beyond.textContent = "\u2192 " + beyond.length + (beyond.length === 1 ? " run goes" : " runs go") +
        " on to " + describeX(state.x, opening.longest) + " \u00b7 show all";
    }
  }

  // What a chart asks of the page, for the library's options.
  function pageSide(entry) {
    return {
      x: state.x,
      xWindow: xWindow(),
      colours: view.colours,
      handlers: entry.handlers,
      onHover: (event, line) => hover(entry, event, line),
      onLeave: leave,
      onClick: () => {
        const line = entry.data.lineOf[entry.graph.getHighlightSeries()];
        if (line) view.select(line.runs[0].id);
      },
      onZoom: (range) => {
        if (!resetting) zoom(range, false, entry);
      },
      onDoubleClick: () => zoom(null, true),
      noteMarks: (graph) => noteMarks(entry, graph),
    };
  }

  function draw(entry) {
    const { runs, lineView } = shared();
    entry.lines = chartLines(runs, entry.name, lineView);
    entry.stale = false;
    delete entry.figure.dataset.stale;
    renderLegend(entry);
    if (entry.lines.length === 0) {
      release(entry);
      entry.graphNode.replaceChildren(element("p", { className: "empty", text: "No run shown has this series." }));
      entry.beyond.hidden = true;
      return;
    }
    const bars = lineView.groupOver.length > 0;
    const log = chooseLog(entry);
    entry.logButton.setAttribute("aria-pressed", String(log));
    entry.data = libraryData(entry.lines, log, bars, view.colours.background);
    entry.columns = entry.data.columns;
    const options = libraryOptions(entry.data, log, bars, pageSide(entry));
    if (entry.graph) {
      entry.graph.updateOptions({ ...options, file: entry.data.skeleton });
    } else {
      entry.graphNode.replaceChildren();
      entry.graph = new Dygraph(entry.graphNode, entry.data.skeleton, options);
      // For the browser tests, which read the chart's state; nothing on the page reads it back.
      Object.defineProperty(entry.figure, "dygraph", { value: entry.graph, configurable: true });
      alive.push(entry);
    }
    Object.defineProperty(entry.figure, "lines", { value: entry.lines, configurable: true });
    showBeyond(entry);
  }

  function noteMarks(entry, graph) {
    const marks = [];
    for (const line of entry.lines) {
      for (const run of line.runs) {
        const toX = xOf(state.x, run);
        for (const [step, elapsed, text] of run.notes) {
          marks.push({ at: graph.toDomXCoord(toX(step, elapsed)), colour: line.colour, text });
        }
      }
    }
    return marks;
  }

  function hover(entry, event, nearest) {
    const graph = entry.graph;
    if (!graph) return;
    const [domX] = graph.eventToDomCoords(event);
    const x = graph.toDataXCoord(domX);
    const margin = Math.abs(graph.toDataXCoord(domX + 6) - x);
    const notes = noteMarks(entry, graph).filter((mark) => Math.abs(mark.at - domX) <= 5);
    readout.show(event, describeX(state.x, x), readoutRows(entry.lines, x, margin), nearest, notes);
    for (const each of alive) {
      const area = each.graph.getArea();
      const at = each.graph.toDomXCoord(x);
      each.cursor.hidden = !(at >= area.x && at <= area.x + area.w);
      each.cursor.style.left = at + "px";
    }
  }

  function leave() {
    readout.hide();
    for (const each of alive) each.cursor.hidden = true;
  }

  // A new x range for every chart: `range`, or the opening range for null; `resetY` also undoes
  // a vertical zoom.
  function zoom(range, resetY, source = null) {
    state.xRange = range;
    if (resetY) {
      resetting = true;
      for (const each of alive) each.graph.resetZoom();
      resetting = false;
    }
    const window = xWindow();
    for (const each of alive) {
      if (each !== source && !each.stale) each.graph.updateOptions({ dateWindow: window });
      showBeyond(each);
    }
  }

  function markStale(entry) {
    entry.stale = true;
    entry.figure.dataset.stale = "";
  }

  function releaseFar() {
    if (printing) return;
    const far = alive.filter((entry) => !entry.visible);
    for (const entry of far.slice(0, Math.max(0, alive.length - KEPT_GRAPHS))) {
      release(entry);
      markStale(entry);
    }
  }

  function drawVisible() {
    for (const entry of entries.values()) {
      if (entry.visible && entry.stale && !entry.figure.hidden) draw(entry);
    }
    releaseFar();
  }

  function scheduleDraws() {
    if (pending) return;
    pending = true;
    requestAnimationFrame(() => {
      pending = false;
      drawVisible();
    });
  }

  // Everything that changed is drawn again now if in view, later when scrolled to.
  function refresh(what) {
    if (what.selection || what.numbers) return;
    perRefresh = null;
    printing = Boolean(what.print);
    if (what.data || entries.size === 0) layout();
    if (what.x) state.xRange = null;
    applySeriesFilter();
    const seriesOnly = what.data && what.data.added.length === 0 && !what.data.runFields;
    const only = seriesOnly ? what.data.series : null;
    for (const entry of entries.values()) {
      if (!only || only.has(entry.name)) markStale(entry);
    }
    if (what.print) {
      // Paper gets every chart (up to a limit), not just those scrolled to.
      for (const entry of [...entries.values()].slice(0, 200)) {
        if (!entry.figure.hidden) draw(entry);
      }
    }
    drawVisible();
  }

  return { refresh, entries, zoom };
}
