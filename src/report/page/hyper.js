// Hyperparameters: a parallel-coordinates chart (an axis per metadata key that differs between
// runs, and a last axis for the chosen number of a chosen series; a line per run coloured by that
// number; a drag along an axis selects a range that filters the runs everywhere) and a scatter of
// one key against the number. Drawn here as SVG: the chart library has neither parallel
// coordinates nor category axes.

const SVG_WIDTH = 900;
const SVG_HEIGHT = 330;
const PLOT_TOP = 40;
const PLOT_BOTTOM = 300;

function axisTicks(scale, settings) {
  if (scale.kind === "category") {
    const every = Math.max(1, Math.ceil(scale.categories.length / 10));
    return scale.categories.filter((_, i) => i % every === 0).map((name) => ({ v: name, label: name }));
  }
  // A sweep's few settings are labelled themselves, not round numbers between them.
  if (settings && scale.distinct.length <= 8) return scale.distinct.map((value) => ({ v: value, label: formatValue(value) }));
  return scale.kind === "log" ? logTicks(scale.min, scale.max, 6) : linearTicks(scale.min, scale.max, 5);
}

function axisY(position) {
  return PLOT_BOTTOM - position * (PLOT_BOTTOM - PLOT_TOP);
}

function svgText(text, attributes) {
  const node = svgElement("text", attributes);
  node.textContent = isolatedText(text);
  return node;
}

function shortened(text, length = 22) {
  return text.length > length ? text.slice(0, length - 1) + "\u2026" : text;
}

function createHyper(view) {
  const { store, state } = view;
  const section = document.getElementById("hyperparameters");
  const root = document.getElementById("hyper");
  const seriesChoice = element("select", { attributes: { "aria-label": "Series of the last axis" } });
  const keyChoice = element("select", { attributes: { "aria-label": "Key along the scatter's x axis" } });
  const parallel = svgElement("svg", { viewBox: `0 0 ${SVG_WIDTH} ${SVG_HEIGHT}`, role: "img", class: "parallel" });
  const scatter = svgElement("svg", { viewBox: `0 0 460 ${SVG_HEIGHT}`, role: "img", class: "scatter" });
  root.append(
    element("div", { className: "tools" }, [
      element("label", { text: "last axis" }, [seriesChoice]),
      element("label", { text: "scatter by" }, [keyChoice]),
      element("span", { className: "note", text: "drag along an axis to keep a range of runs; click it to clear" }),
    ]),
    element("div", { className: "hyper" }, [element("figure", {}, [parallel]), element("figure", {}, [scatter])]));
  seriesChoice.addEventListener("change", () => view.update({ hyperSeries: seriesChoice.value }, { hyper: true }));
  keyChoice.addEventListener("change", () => view.update({ scatterKey: keyChoice.value }, { hyper: true }));

  function fill(select, values, chosen) {
    if ([...select.options].map((option) => option.value).join("\n") !== values.join("\n")) {
      select.replaceChildren(...values.map((value) =>
        element("option", { text: isolatedText(value), attributes: { value } })));
    }
    select.value = chosen;
  }

  function chosenSeries() {
    const names = [...store.seriesNames].sort();
    if (state.hyperSeries && store.seriesNames.has(state.hyperSeries)) return state.hyperSeries;
    return names.find((name) => /loss/i.test(name)) ?? names[0];
  }

  // A run's colour here: where its number sits on the number's own axis.
  function numberColour(run, axis) {
    const position = view.axisPosition(axis, run);
    return Number.isNaN(position) ? view.colours.missing : sequentialColour(position);
  }

  function drawAxis(svg, axis, x, title) {
    const scale = view.axisScale(axis);
    const group = svgElement("g", { class: "axis" });
    group.append(svgElement("line", { x1: x, x2: x, y1: PLOT_TOP, y2: PLOT_BOTTOM }));
    group.append(svgText(shortened(title, 26), { x, y: PLOT_TOP - 16, "text-anchor": "middle", class: "axis-name" }));
    let previous = Infinity;
    for (const tick of axisTicks(scale, axis.startsWith("meta:"))) {
      const y = axisY(scale.position(tick.v));
      // Labels closer than a line of text would overlap.
      if (!Number.isFinite(y) || Math.abs(previous - y) < 12) continue;
      previous = y;
      group.append(svgElement("line", { x1: x - 4, x2: x, y1: y, y2: y }));
      group.append(svgText(shortened(String(tick.label), 14), { x: x - 7, y: y + 4, "text-anchor": "end" }));
    }
    const brush = state.brushes.get(axis);
    if (brush) {
      group.append(svgElement("rect", { class: "brush", x: x - 8, width: 16, y: axisY(brush[1]), height: axisY(brush[0]) - axisY(brush[1]) }));
    }
    const hit = svgElement("rect", { class: "hit", x: x - 14, width: 28, y: PLOT_TOP - 6, height: PLOT_BOTTOM - PLOT_TOP + 12, "data-axis": axis });
    hit.addEventListener("pointerdown", (event) => startBrush(svg, axis, x, event));
    group.append(hit);
    svg.append(group);
  }

  // Dragging along an axis: the range between press and release keeps the runs inside it; a
  // press without a drag clears it.
  function startBrush(svg, axis, x, event) {
    event.preventDefault();
    const toPosition = (pointer) => {
      const point = new DOMPoint(pointer.clientX, pointer.clientY).matrixTransform(svg.getScreenCTM().inverse());
      return Math.min(1, Math.max(0, (PLOT_BOTTOM - point.y) / (PLOT_BOTTOM - PLOT_TOP)));
    };
    const start = toPosition(event);
    const preview = svgElement("rect", { class: "brush", x: x - 8, width: 16, y: axisY(start), height: 0 });
    svg.append(preview);
    let end = start;
    const move = (pointer) => {
      end = toPosition(pointer);
      preview.setAttribute("y", axisY(Math.max(start, end)));
      preview.setAttribute("height", Math.abs(axisY(start) - axisY(end)));
    };
    const release = () => {
      window.removeEventListener("pointermove", move);
      window.removeEventListener("pointerup", release);
      if (Math.abs(end - start) * (PLOT_BOTTOM - PLOT_TOP) < 3) state.brushes.delete(axis);
      else state.brushes.set(axis, [Math.min(start, end), Math.max(start, end)]);
      view.refresh({ runs: true });
    };
    window.addEventListener("pointermove", move);
    window.addEventListener("pointerup", release);
  }

  function drawParallel(keys, series) {
    const axes = [...keys.map((key) => "meta:" + key), "series:" + series];
    const titles = [...keys, series + " (" + state.number + ")"];
    const left = 80;
    const spacing = (SVG_WIDTH - 2 * left) / Math.max(1, axes.length - 1);
    const xs = axes.map((_, i) => (axes.length === 1 ? SVG_WIDTH / 2 : left + i * spacing));
    parallel.replaceChildren();
    const lines = svgElement("g");
    const runs = [...store.runs].sort((p, q) => view.isShown(p) - view.isShown(q));
    for (const run of runs) {
      let path = "";
      let open = false;
      axes.forEach((axis, i) => {
        const y = axisY(view.axisPosition(axis, run));
        if (!Number.isFinite(y)) {
          open = false;
          return;
        }
        path += (open ? "L" : "M") + xs[i].toFixed(1) + " " + y.toFixed(1);
        open = true;
      });
      if (!path) continue;
      const shown = view.isShown(run);
      const line = svgElement("path", { d: path, class: shown ? "run" : "run out", "data-run": run.id });
      if (shown) line.setAttribute("stroke", numberColour(run, axes[axes.length - 1]));
      const title = svgElement("title");
      title.textContent = isolatedText(runLabel(run, keys));
      line.append(title);
      lines.append(line);
    }
    parallel.append(lines);
    axes.forEach((axis, i) => drawAxis(parallel, axis, xs[i], titles[i]));
  }

  function drawScatter(key, series) {
    scatter.replaceChildren();
    const xAxis = "meta:" + key;
    const yAxis = "series:" + series;
    const [left, right] = [70, 440];
    const toX = (position) => left + position * (right - left);
    scatter.append(svgElement("rect", { class: "frame", x: left, y: PLOT_TOP, width: right - left, height: PLOT_BOTTOM - PLOT_TOP, fill: "none" }));
    const xScale = view.axisScale(xAxis);
    for (const tick of axisTicks(xScale, true)) {
      const x = toX(xScale.position(tick.v));
      if (Number.isFinite(x)) scatter.append(svgText(shortened(String(tick.label), 12), { x, y: PLOT_BOTTOM + 16, "text-anchor": "middle" }));
    }
    const yScale = view.axisScale(yAxis);
    for (const tick of axisTicks(yScale, false)) {
      const y = axisY(yScale.position(tick.v));
      if (Number.isFinite(y)) scatter.append(svgText(String(tick.label), { x: left - 6, y: y + 4, "text-anchor": "end" }));
    }
    scatter.append(svgText(shortened(key, 40), { x: (left + right) / 2, y: PLOT_BOTTOM + 30, "text-anchor": "middle", class: "axis-name" }));
    scatter.append(svgText(shortened(series + " (" + state.number + ")", 40), { x: left, y: PLOT_TOP - 12, class: "axis-name" }));
    for (const run of store.runs) {
      const x = toX(xScale.position(view.axisValue(xAxis, run)));
      const y = axisY(yScale.position(view.axisValue(yAxis, run)));
      if (!Number.isFinite(x) || !Number.isFinite(y)) continue;
      const shown = view.isShown(run);
      const dot = svgElement("circle", { cx: x.toFixed(1), cy: y.toFixed(1), r: 5, class: shown ? "" : "out", "data-run": run.id });
      if (shown) dot.setAttribute("fill", view.colourOfRun(run).colour);
      const title = svgElement("title");
      title.textContent = isolatedText(runLabel(run, view.labelKeys()));
      dot.append(title);
      scatter.append(dot);
    }
  }

  function refresh(what) {
    if (what.chartsOnly || what.selection) return;
    const keys = view.labelKeys();
    const series = chosenSeries();
    section.hidden = keys.length === 0 || store.runs.length < 2 || !series;
    if (section.hidden) return;
    fill(seriesChoice, [...store.seriesNames].sort(), series);
    const key = keys.includes(state.scatterKey) ? state.scatterKey : keys[0];
    fill(keyChoice, keys, key);
    drawParallel(keys, series);
    drawScatter(key, series);
  }

  return { refresh };
}
