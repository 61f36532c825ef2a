// The series charts: a section per first part of the dotted name, a figure per series, drawn by
// the chart library only while in view, so that a run with a thousand per-class series stays
// responsive. Zoom is shared: a drag on one chart zooms every chart, a double-click goes back to
// the opening range. Hovering shows a cursor on every chart and the read-out of the one under
// the pointer.

const KEPT_GRAPHS = 24;

// The page draws its own legend and read-out; the library's legend would measure its box (a
// layout of the whole page) on every draw of every chart.
Dygraph.PLUGINS = Dygraph.PLUGINS.filter((plugin) => plugin !== Dygraph.Plugins.Legend);
const BAND_ALPHA = 0.2;
const KNOWN_STATUSES = new Set(["completed", "failed", "interrupted", "running", "stopped", "unknown"]);

// The chart library asks its data handler for each series; this one hands over the points the
// page computed, instead of a table with a row for every x of every line (which, for runs whose x
// differ, grows with the product of lines and points).
function seriesHandler(columnsOf, Base) {
  function Handler() {}
  Handler.prototype = new Base();
  Handler.prototype.extractSeries = (rawData, index) => columnsOf()[index - 1];
  return Handler;
}

// A group's band as one filled shape per unbroken stretch of points. The library's own band
// drawing makes a shape of every segment, which took most of a redraw with a few groups.
function bandPlotter(e) {
  const context = e.drawingContext;
  const area = e.plotArea;
  const stretches = [];
  let stretch = [];
  for (const point of e.points) {
    if (Number.isNaN(point.y_top) || Number.isNaN(point.y_bottom) || point.yval === null) {
      if (stretch.length > 0) stretches.push(stretch);
      stretch = [];
      continue;
    }
    stretch.push(point);
  }
  if (stretch.length > 0) stretches.push(stretch);
  context.save();
  context.fillStyle = e.color;
  context.globalAlpha = BAND_ALPHA;
  context.beginPath();
  for (const points of stretches) {
    points.forEach((point, i) => {
      const y = area.y + area.h * point.y_top;
      if (i === 0) context.moveTo(point.canvasx, y);
      else context.lineTo(point.canvasx, y);
    });
    for (let i = points.length - 1; i >= 0; i--) {
      context.lineTo(points[i].canvasx, area.y + area.h * points[i].y_bottom);
    }
    context.closePath();
  }
  context.fill();
  context.restore();
}

function bandAndLinePlotter(e) {
  bandPlotter(e);
  Dygraph.Plotters.linePlotter(e);
}

function sectionOf(name) {
  const dot = name.indexOf(".");
  return dot > 0 ? name.slice(0, dot) : "";
}

// One line's points as the library takes them: scaled, gaps where a log axis cannot go, and with
// a low-high pair per point when the chart draws bands.
function libraryColumn(points, band, scale, log, bars) {
  const out = new Array(points.length);
  for (let i = 0; i < points.length; i++) {
    let y = points[i][1] * scale;
    if (log && !(y > 0)) y = null;
    if (!bars) {
      out[i] = [points[i][0], y];
      continue;
    }
    let low = band ? band[i][0] * scale : y;
    let high = band ? band[i][1] * scale : y;
    if (log && !(low > 0)) low = y;
    if (log && !(high > 0)) high = y;
    out[i] = [points[i][0], y, [low, high]];
  }
  return out;
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
      graph: null, visible: false, stale: true, lines: [], columns: [], seriesLine: {},
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
    const names = [...view.store.seriesNames].sort();
    for (const name of names) {
      if (!entries.has(name)) entries.set(name, createEntry(name));
      const section = sectionOf(name);
      if (!sections.has(section)) {
        const grid = element("div", { className: "charts" });
        const node = element("div", { className: "chart-section" }, section ? [element("h3", {}, [isolated(section + ".*")]), grid] : [grid]);
        sections.set(section, { node, grid });
      }
    }
    for (const section of [...sections.keys()].sort()) {
      const { node, grid } = sections.get(section);
      container.append(node);
      for (const name of names) {
        if (sectionOf(name) === section) grid.append(entries.get(name).figure);
      }
    }
    empty.hidden = names.length > 0;
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

  function options(entry, log, scale, bars) {
    const colours = view.colours;
    const count = (pixels, per) => Math.max(2, Math.floor(pixels / per));
    return {
      labels: entry.labels,
      colors: entry.colors,
      series: entry.seriesOptions,
      dataHandler: bars ? entry.handlers.bars : entry.handlers.plain,
      customBars: bars,
      plotter: [Dygraph.Plotters.linePlotter],
      logscale: log,
      legend: "never",
      dateWindow: xWindow(),
      animatedZooms: false,
      xRangePad: 0,
      yRangePad: 6,
      rightGap: 10,
      gridLineColor: colours.grid,
      axisLineColor: colours.rule,
      highlightCircleSize: 0,
      highlightSeriesOpts: { strokeWidth: 2.6 },
      highlightSeriesBackgroundAlpha: 0.55,
      highlightSeriesBackgroundColor: colours.background,
      axes: {
        x: {
          ticker: (low, high, pixels) => xTicks(state.x, low, high, count(pixels, 80)),
          axisLabelWidth: 64,
        },
        y: {
          ticker: (low, high, pixels) => unscaledLabels(log ? logTicks(low, high, count(pixels, 28))
            : linearTicks(low, high, count(pixels, 40)), scale),
          axisLabelWidth: 60,
        },
      },
      interactionModel: Object.assign({}, Dygraph.defaultInteractionModel, {
        dblclick: () => zoom(null, true),
      }),
      highlightCallback: (event, x, points, row, seriesName) => hover(entry, event, seriesName),
      unhighlightCallback: leave,
      clickCallback: () => {
        const line = entry.seriesLine[entry.graph.getHighlightSeries()];
        if (line) view.select(line.runs[0].id);
      },
      zoomCallback: (low, high) => {
        if (!resetting) zoom([low, high], false, entry);
      },
      underlayCallback: (context, area, graph) => drawNotes(entry, context, area, graph),
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
    let largest = 0;
    let low = Infinity;
    let high = -Infinity;
    for (const line of entry.lines) {
      for (const points of [line.main, line.faint ?? []]) {
        if (points.length === 0) continue;
        low = Math.min(low, points[0][0]);
        high = Math.max(high, points[points.length - 1][0]);
        for (const point of points) largest = Math.max(largest, Math.abs(point[1]));
      }
      for (const [bandLow, bandHigh] of line.band ?? []) {
        largest = Math.max(largest, Math.abs(bandLow), Math.abs(bandHigh));
      }
    }
    const scale = drawingScale(largest);
    const width = entry.lines.length > 20 ? 1.1 : 1.6;
    entry.labels = ["x"];
    entry.colors = [];
    entry.seriesOptions = {};
    entry.columns = [];
    entry.seriesLine = {};
    entry.lines.forEach((line, i) => {
      const add = (label, colour, points, band, strokeWidth, dashed) => {
        entry.labels.push(label);
        entry.colors.push(colour);
        entry.columns.push(libraryColumn(points, band, scale, log, bars));
        // A line of one point draws nothing: it gets a dot.
        entry.seriesOptions[label] = {
          strokeWidth, strokePattern: dashed ? [6, 3] : null, drawPoints: points.length === 1, pointSize: 3,
        };
        if (band) entry.seriesOptions[label].plotter = bandAndLinePlotter;
        entry.seriesLine[label] = line;
      };
      if (line.faint) add("f" + i, faintColour(line.colour, view.colours.background), line.faint, null, 1, false);
      add("l" + i, line.colour, line.main, line.band, width, line.dashed);
    });
    // One x for every point (a single step) still needs a range to place it in.
    const margin = low === high ? Math.max(1, Math.abs(low) * 0.05) : 0;
    const skeleton = [low - margin, high + margin].map((x) => [x, ...entry.columns.map(() => null)]);
    const settings = options(entry, log, scale, bars);
    if (entry.graph) {
      entry.graph.updateOptions({ ...settings, file: skeleton });
    } else {
      entry.graphNode.replaceChildren();
      entry.graph = new Dygraph(entry.graphNode, skeleton, settings);
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

  function drawNotes(entry, context, area, graph) {
    context.save();
    const bottom = area.y + area.h;
    for (const mark of noteMarks(entry, graph)) {
      if (mark.at < area.x || mark.at > area.x + area.w) continue;
      context.fillStyle = mark.colour;
      context.beginPath();
      context.moveTo(mark.at, bottom - 7);
      context.lineTo(mark.at - 4, bottom);
      context.lineTo(mark.at + 4, bottom);
      context.closePath();
      context.fill();
    }
    context.restore();
  }

  function hover(entry, event, seriesName) {
    const graph = entry.graph;
    if (!graph) return;
    const [domX] = graph.eventToDomCoords(event);
    const x = graph.toDataXCoord(domX);
    const margin = Math.abs(graph.toDataXCoord(domX + 6) - x);
    const notes = noteMarks(entry, graph).filter((mark) => Math.abs(mark.at - domX) <= 5);
    readout.show(event, describeX(state.x, x), readoutRows(entry.lines, x, margin),
      entry.seriesLine[seriesName], notes);
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
    if (what.selection) return;
    perRefresh = null;
    if (what.data || entries.size === 0) layout();
    if (what.x) state.xRange = null;
    applySeriesFilter();
    const seriesOnly = what.data && what.data.added.length === 0 && !what.data.runFields;
    const only = seriesOnly ? what.data.series : null;
    for (const entry of entries.values()) {
      if (!only || only.has(entry.name)) markStale(entry);
    }
    drawVisible();
  }

  // Paper gets every chart, not just those scrolled to.
  window.addEventListener("beforeprint", () => {
    for (const entry of [...entries.values()].slice(0, 200)) {
      if (entry.stale && !entry.figure.hidden) draw(entry);
    }
  });

  return { refresh, entries, zoom };
}
