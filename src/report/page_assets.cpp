#include "report/page_assets.h"

namespace trovik::report {

// Ten colours told apart on white and on near-black alike; a page with more runs repeats them with
// dashes (see chart_svg.cpp).
const std::string_view kPageStyle = R"css(
:root {
  color-scheme: light dark;
  --bg: #ffffff; --fg: #1f2328; --muted: #656d76; --rule: #d0d7de; --grid: #eaeef2;
  --panel: #f6f8fa; --add: #1a7f37; --del: #cf222e; --hunk: #8250df;
  --c0: #4e79a7; --c1: #f28e2b; --c2: #e15759; --c3: #59a14f; --c4: #b07aa1;
  --c5: #c9a227; --c6: #5fa8a3; --c7: #e377c2; --c8: #9c755f; --c9: #6b6f73;
}
@media (prefers-color-scheme: dark) {
  :root {
    --bg: #0d1117; --fg: #e6edf3; --muted: #8d96a0; --rule: #30363d; --grid: #21262d;
    --panel: #161b22; --add: #3fb950; --del: #f85149; --hunk: #bc8cff;
    --c0: #79a7dc; --c1: #ffa451; --c2: #ff7b7d; --c3: #7fcf73; --c4: #d7a1d3;
    --c5: #f2d15c; --c6: #8fd6d0; --c7: #ff9ed8; --c8: #d0a585; --c9: #b3b9bf;
  }
}
* { box-sizing: border-box; }
body { margin: 0 auto; max-width: 1500px; padding: 16px 24px 48px; background: var(--bg);
  color: var(--fg); font: 14px/1.45 system-ui, -apple-system, "Segoe UI", sans-serif; }
h1 { font-size: 22px; margin: 8px 0 0; }
h2 { font-size: 17px; margin: 28px 0 10px; padding-bottom: 4px; border-bottom: 1px solid var(--rule); }
h3 { font-size: 15px; margin: 0; overflow-wrap: anywhere; }
.generated { color: var(--muted); margin: 2px 0 0; }
code, pre, .mono { font-family: ui-monospace, "SFMono-Regular", Menlo, Consolas, monospace; font-size: 12.5px; }
.table-scroll { overflow-x: auto; }
table { border-collapse: collapse; }
th, td { padding: 4px 10px; border-bottom: 1px solid var(--rule); text-align: left;
  vertical-align: top; white-space: nowrap; }
td { max-width: 32em; overflow: hidden; text-overflow: ellipsis; }
th { color: var(--muted); font-weight: 600; }
tr.differs th { color: var(--fg); }
td.absent { color: var(--muted); }
.swatch { display: inline-block; width: 12px; height: 12px; border-radius: 3px; margin-right: 6px;
  vertical-align: -1px; background: currentColor; }
.swatch.dashed { background: repeating-linear-gradient(90deg, currentColor 0 4px, transparent 4px 6px); }
.c0 { color: var(--c0); stroke: var(--c0); } .c1 { color: var(--c1); stroke: var(--c1); }
.c2 { color: var(--c2); stroke: var(--c2); } .c3 { color: var(--c3); stroke: var(--c3); }
.c4 { color: var(--c4); stroke: var(--c4); } .c5 { color: var(--c5); stroke: var(--c5); }
.c6 { color: var(--c6); stroke: var(--c6); } .c7 { color: var(--c7); stroke: var(--c7); }
.c8 { color: var(--c8); stroke: var(--c8); } .c9 { color: var(--c9); stroke: var(--c9); }
.charts { display: grid; grid-template-columns: repeat(auto-fill, minmax(460px, 1fr)); gap: 18px; }
figure { margin: 0; padding: 10px 12px 6px; border: 1px solid var(--rule); border-radius: 8px;
  background: var(--bg); break-inside: avoid; }
figcaption { display: flex; flex-wrap: wrap; align-items: baseline; gap: 4px 14px; }
.legend { list-style: none; margin: 0; padding: 0; display: flex; flex-wrap: wrap; gap: 2px 12px;
  color: var(--muted); font-size: 12.5px; }
.legend li { white-space: nowrap; max-width: 24em; overflow: hidden; text-overflow: ellipsis; }
.legend .run-name { color: var(--fg); }
svg.chart { display: block; width: 100%; height: auto; margin-top: 4px; }
svg.chart text { fill: var(--muted); font-size: 13px; }
svg.chart .axis-title { text-anchor: end; }
svg.chart .grid path { stroke: var(--grid); stroke-width: 1; fill: none; }
svg.chart .line { fill: none; stroke-width: 1.6; stroke-linejoin: round; stroke-linecap: round; }
svg.chart .dashed { stroke-dasharray: 6 3; }
svg.chart .dot { fill: currentColor; stroke: none; }
svg.chart .note { fill: currentColor; stroke: none; }
svg.chart .cursor { stroke: var(--muted); stroke-width: 1; stroke-dasharray: 3 3; }
.readout { position: fixed; pointer-events: none; z-index: 10; padding: 6px 9px; border-radius: 6px;
  background: var(--panel); border: 1px solid var(--rule); font-size: 12.5px;
  box-shadow: 0 2px 8px rgba(0, 0, 0, .18); }
.readout div { white-space: nowrap; }
.runs { display: grid; grid-template-columns: repeat(auto-fill, minmax(460px, 1fr)); gap: 18px; }
article { border: 1px solid var(--rule); border-radius: 8px; padding: 10px 14px; break-inside: avoid; }
article h3 .mono { color: var(--muted); font-weight: 400; margin-left: 6px; }
dl { display: grid; grid-template-columns: max-content 1fr; gap: 2px 14px; margin: 8px 0; }
dt { color: var(--muted); }
dd { margin: 0; overflow-wrap: anywhere; }
ol.notes { margin: 6px 0; padding-left: 22px; }
ol.notes .when { color: var(--muted); }
details, p.code { margin: 8px 0 0; }
p.code { color: var(--muted); }
summary { cursor: pointer; color: var(--muted); }
pre.diff { margin: 6px 0 0; padding: 8px 10px; background: var(--panel); border-radius: 6px;
  overflow: auto; max-height: 40em; white-space: pre; }
pre.diff .add { color: var(--add); } pre.diff .del { color: var(--del); }
pre.diff .hunk { color: var(--hunk); } pre.diff .file { font-weight: 700; }
@media print {
  /* Paper is white whatever the screen prefers. */
  :root {
    --bg: #fff; --fg: #000; --muted: #444; --rule: #bbb; --grid: #e4e4e4; --panel: #f4f4f4;
    --add: #1a7f37; --del: #cf222e; --hunk: #8250df;
    --c0: #4e79a7; --c1: #f28e2b; --c2: #e15759; --c3: #59a14f; --c4: #b07aa1;
    --c5: #c9a227; --c6: #5fa8a3; --c7: #e377c2; --c8: #9c755f; --c9: #6b6f73;
  }
  body { max-width: none; padding: 0; font-size: 9pt; }
  .charts, .runs { grid-template-columns: 1fr 1fr; gap: 10px; }
  .readout, svg.chart .cursor { display: none; }
  .table-scroll { overflow: visible; }
  table { width: 100%; }
  th, td { max-width: none; padding: 2px 5px; }
  td { white-space: normal; overflow-wrap: anywhere; }
  h2 { break-after: avoid; }
}
)css";

// Hover read-out: the value of each line at the pointer's column, read back from the drawing
// through the axis mapping each chart carries. Text goes in through textContent only.
const std::string_view kPageScript = R"js(
(() => {
  const readout = document.getElementById("readout");
  const names = new Map();
  for (const item of document.querySelectorAll(".legend li")) {
    names.set(item.dataset.run, item.querySelector(".run-name").textContent);
  }
  const shown = (value) => Math.abs(value) >= 1e5 || (value !== 0 && Math.abs(value) < 1e-3)
    ? value.toExponential(3) : String(Number(value.toPrecision(4)));
  for (const svg of document.querySelectorAll("svg.chart")) {
    const d = svg.dataset;
    const [left, width, top, height] = [+d.left, +d.width, +d.top, +d.height];
    const [x0, x1, y0, y1] = [+d.x0, +d.x1, +d.y0, +d.y1];
    const cursor = svg.querySelector(".cursor");
    const byStep = svg.querySelector(".axis-title").textContent === "step";
    let lines = null;
    const hide = () => { readout.hidden = true; cursor.setAttribute("visibility", "hidden"); };
    svg.addEventListener("mouseleave", hide);
    svg.addEventListener("mousemove", (event) => {
      lines ??= [...svg.querySelectorAll("polyline.line")].map((line) => {
        const xs = [], ys = [];
        for (const p of line.points) { xs.push(p.x); ys.push(p.y); }
        return { run: line.dataset.run, css: line.classList[1], xs, ys };
      });
      const at = new DOMPoint(event.clientX, event.clientY)
        .matrixTransform(svg.getScreenCTM().inverse());
      if (at.x < left || at.x > left + width) { hide(); return; }
      cursor.setAttribute("x1", at.x); cursor.setAttribute("x2", at.x);
      cursor.setAttribute("visibility", "visible");
      const x = x0 + (at.x - left) / width * (x1 - x0);
      readout.replaceChildren();
      const head = document.createElement("div");
      head.textContent = byStep ? "step " + Math.round(x) : shown(x) + " s";
      readout.append(head);
      for (const line of lines) {
        if (!line.xs.length) continue;
        let lo = 0, hi = line.xs.length - 1;
        while (lo < hi) { const mid = (lo + hi) >> 1; if (line.xs[mid] < at.x) lo = mid + 1; else hi = mid; }
        if (lo > 0 && at.x - line.xs[lo - 1] < line.xs[lo] - at.x) lo -= 1;
        const value = y0 + (top + height - line.ys[lo]) / height * (y1 - y0);
        const row = document.createElement("div");
        const swatch = document.createElement("span");
        swatch.className = "swatch " + line.css;
        row.append(swatch, (names.get(line.run) ?? "") + ": \u2248 " + shown(value));
        readout.append(row);
      }
      readout.hidden = false;
      const room = window.innerWidth - event.clientX > readout.offsetWidth + 24;
      readout.style.left = (room ? event.clientX + 14 : event.clientX - readout.offsetWidth - 14) + "px";
      readout.style.top = event.clientY + 14 + "px";
    });
  }
})();
)js";

}  // namespace trovik::report
