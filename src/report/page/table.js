// The runs table, made interactive: sortable by any column, a filter over names, ids and
// metadata, a checkbox per run that hides or shows it everywhere, the series columns showing the
// number the reader chose (last, min or max), and a row per group with its mean ± std.

const MAX_SERIES_COLUMNS = 30;

// Numbers by value, everything else as text with its digits compared as numbers ("2 s" < "10 s");
// what a run lacks goes last.
function compareCells(p, q) {
  const missing = (value) => value === undefined || value === null || value === "";
  if (missing(p) || missing(q)) return missing(p) - missing(q);
  if (typeof p === "number" && typeof q === "number") return p - q;
  return String(p).localeCompare(String(q), undefined, { numeric: true });
}

// The columns: the run's id and name, then what tells the runs apart (status, the metadata and the
// series numbers that differ), then the rest of what the command lists (start, git, host...).
function tableColumns(view) {
  const { store } = view;
  const runs = store.runs;
  const fixed = store.columns.map((title, i) => ({
    title,
    text: (run) => run.cells[i] ?? "",
    wrap: title === "name",
  }));
  const columns = fixed.slice(0, 2);
  if (runs.some((run) => run.status)) columns.push({ title: "status", text: (run) => run.status, status: true });
  for (const key of view.labelKeys()) {
    columns.push({
      title: key,
      text: (run) => metadataText(run, key) ?? "",
      value: (run) => run.values.get(key),
      meta: key,
      wrap: true,
    });
  }
  const names = [...store.seriesNames].sort().filter((name) =>
    runs.length === 1 || new Set(runs.map((run) => view.number(run, name))).size > 1);
  for (const name of names.slice(0, MAX_SERIES_COLUMNS)) {
    columns.push({
      title: name,
      text: (run) => formatNumber(view.number(run, name)),
      value: (run) => view.number(run, name),
      series: name,
    });
  }
  // The run table's own status column is the one above, marked.
  columns.push(...fixed.slice(2).filter((column) => column.title !== "status"));
  return { columns, seriesLeftOut: Math.max(0, names.length - MAX_SERIES_COLUMNS) };
}

function createTable(view) {
  const { store, state } = view;
  const table = document.getElementById("run-table");
  const tools = document.getElementById("run-tools");
  const filter = element("input", {
    attributes: { type: "search", placeholder: "filter runs: name, id, metadata", "aria-label": "Filter runs" },
  });
  const counts = element("span", { className: "note" });
  const clearBrushes = element("button", { text: "clear hyperparameter ranges", attributes: { type: "button", hidden: "" } });
  tools.append(filter, counts, clearBrushes);
  tools.hidden = false;
  let columns = [];
  let seriesLeftOut = 0;

  filter.addEventListener("input", () => view.update({ runFilter: filter.value }, { runs: true }));
  clearBrushes.addEventListener("click", () => {
    state.brushes.clear();
    view.refresh({ runs: true });
  });

  function header(extraColumns) {
    const all = element("input", { attributes: { type: "checkbox", "aria-label": "Show every run" } });
    all.addEventListener("change", () => {
      for (const run of store.runs) {
        if (all.checked) state.hidden.delete(run.id);
        else if (view.matchesFilter(run)) state.hidden.add(run.id);
      }
      view.refresh({ runs: true });
    });
    const cells = [element("th", {}, [all]), element("th")];
    extraColumns.forEach((column) => {
      const cell = element("th", { className: "sortable", attributes: { title: "sort by " + column.title } },
        [isolated(column.title)]);
      if (state.sort.column === column.title) {
        cell.setAttribute("aria-sort", state.sort.descending ? "descending" : "ascending");
      }
      cell.addEventListener("click", () => {
        const same = state.sort.column === column.title;
        state.sort = { column: column.title, descending: same && !state.sort.descending };
        render();
      });
      cells.push(cell);
    });
    return element("thead", {}, [element("tr", {}, cells)]);
  }

  function runRow(run) {
    const box = element("input", { attributes: { type: "checkbox", "aria-label": "Show this run" } });
    box.addEventListener("change", () => {
      if (box.checked) state.hidden.delete(run.id);
      else state.hidden.add(run.id);
      view.refresh({ runs: true });
    });
    // The swatch comes with showRows, which follows colour changes.
    const row = element("tr", { attributes: { "data-run": run.id } }, [element("td", {}, [box]), element("td")]);
    for (const column of columns) {
      const cell = element("td", { className: column.series ? "number" : column.wrap ? "text" : "" },
        [isolated(column.text(run))]);
      if (column.status && KNOWN_STATUSES.has(run.status)) cell.classList.add("status-" + run.status);
      row.append(cell);
    }
    row.classList.toggle("selected", state.selected === run.id);
    row.addEventListener("click", (event) => {
      if (event.target !== box) view.select(run.id);
    });
    return row;
  }

  // A group's row: what its runs share, and mean ± std of each series column.
  function groupRow(group) {
    const { colour, dashed } = view.colourOfGroup(group);
    const row = element("tr", { className: "group" }, [
      element("td", { text: "n=" + group.runs.length }),
      element("td", {}, [swatch(colour, dashed)]),
    ]);
    for (const column of columns) {
      let text = "";
      if (column.series) {
        const values = group.runs.map(column.value).filter((value) => typeof value === "number");
        if (values.length > 0) {
          const mean = values.reduce((sum, value) => sum + value / values.length, 0);
          const spread = values.length > 1
            ? Math.sqrt(values.reduce((sum, value) => sum + (value - mean) ** 2, 0) / (values.length - 1))
            : 0;
          text = formatValue(mean) + " \u00b1 " + formatValue(spread);
        }
      } else {
        const texts = new Set(group.runs.map(column.text));
        text = texts.size === 1 ? [...texts][0] : "";
      }
      row.append(element("td", { className: column.series ? "number" : column.wrap ? "text" : "" }, [isolated(text)]));
    }
    return row;
  }

  function sortedRuns() {
    const column = columns.find((each) => each.title === state.sort.column);
    if (!column) return store.runs;
    const key = column.value ?? column.text;
    const sorted = [...store.runs].sort((p, q) => compareCells(key(p), key(q)));
    return state.sort.descending ? sorted.reverse() : sorted;
  }

  // Which rows show, which are ticked off, and their colours: all that hiding, filtering,
  // grouping or colouring alters in the table, besides its group rows.
  function showRows() {
    const brushed = new Set(store.runs.filter((run) => view.withinBrushes(run)));
    for (const row of table.querySelectorAll("tr[data-run]")) {
      const run = store.byId.get(row.dataset.run);
      row.hidden = !view.matchesFilter(run) || !brushed.has(run);
      row.classList.toggle("off", state.hidden.has(run.id));
      row.firstChild.firstChild.checked = !state.hidden.has(run.id);
      // Only a changed colour touches the row: every change of a row's content costs a layout.
      const { colour, dashed } = view.colourOfRun(run);
      const cell = row.children[1];
      if (cell.dataset.colour !== colour + dashed) {
        cell.dataset.colour = colour + dashed;
        cell.replaceChildren(swatch(colour, dashed));
      }
    }
    table.querySelector("thead input").checked = store.runs.every((run) => !state.hidden.has(run.id));
    const shownRuns = view.shownRuns();
    const groups = state.groupOver.length > 0 ? groupRuns(shownRuns, state.groupOver).map(groupRow) : [];
    table.querySelector("tbody.groups").replaceChildren(...groups);
    const hidden = store.runs.length - shownRuns.length;
    counts.textContent = store.runs.length + (store.runs.length === 1 ? " run" : " runs") +
      (hidden > 0 ? ", " + shownRuns.length + " shown" : "") +
      (seriesLeftOut > 0 ? " \u00b7 " + seriesLeftOut + " more series differ (not shown here)" : "");
    clearBrushes.hidden = state.brushes.size === 0;
  }

  function render() {
    const made = tableColumns(view);
    columns = made.columns;
    seriesLeftOut = made.seriesLeftOut;
    const body = element("tbody", {}, sortedRuns().map(runRow));
    table.replaceChildren(header(columns), element("tbody", { className: "groups" }), body);
    showRows();
  }

  function refresh(what) {
    if (what.chartsOnly) return;
    if (what.selection) {
      for (const row of table.querySelectorAll("tr[data-run]")) {
        row.classList.toggle("selected", row.dataset.run === state.selected);
      }
      return;
    }
    // New data or another number changes the rows; anything else only which show and how.
    if (what.data || what.numbers || columns.length === 0) render();
    else showRows();
  }

  return { refresh };
}
