// Everything the page knows about the runs, and the one way it changes: apply(changes).
//
// The report's embedded document is the first change; a live view applies later ones as they
// come, in the same shape (src/report/page_data.h), and may send only what changed:
//   {columns?, generated_at?, x?, runs?: [{id, ...only the fields that changed...}]}
// A run not seen before is added at the end. A series entry replaces the series, or, with
// "from": k and the same "w", keeps its first k buckets and appends the decoded rest: an append
// of records changes the last bucket or adds buckets; a coarsening (a new w) comes whole.
// Listeners are told what changed, so views can redraw just that and keep their own state
// (zoom, selection, grouping, smoothing, filters, scroll).

const RUN_FIELDS = {
  name: "name",
  status: "status",
  cells: "cells",
  notes: "notes",
  series_left_out: "seriesLeftOut",
  notes_left_out: "notesLeftOut",
};

function createStore() {
  const store = {
    columns: [],
    generatedAt: "",
    x: "step",
    runs: [],
    byId: new Map(),
    seriesNames: new Set(),
    listeners: [],
  };

  function newRun(id) {
    return {
      id,
      order: store.runs.length,
      name: "",
      status: "",
      cells: [],
      metadata: [],
      values: new Map(),
      notes: [],
      seriesLeftOut: 0,
      notesLeftOut: 0,
      series: new Map(),
      length: 0,
    };
  }

  function applySeries(run, change) {
    const before = run.series.get(change.name);
    const width = change.w ?? before?.w ?? 0;
    let buckets;
    if (before && change.from !== undefined && width === before.w) {
      const kept = before.buckets.slice(0, change.from);
      buckets = kept.concat(decodeBuckets(change.b ?? [], kept[kept.length - 1] ?? null));
    } else {
      buckets = decodeBuckets(change.b ?? [], null);
    }
    const series = {
      name: change.name,
      count: change.count ?? before?.count ?? 0,
      first: change.first ?? before?.first,
      last: change.last ?? before?.last,
      min: change.min ?? before?.min,
      max: change.max ?? before?.max,
      w: width,
      buckets,
      version: (before?.version ?? 0) + 1,
    };
    run.series.set(change.name, series);
    store.seriesNames.add(change.name);
    let length = 0;
    for (const each of run.series.values()) {
      if (each.buckets.length > 0) length = Math.max(length, each.buckets[each.buckets.length - 1].s1);
    }
    run.length = length;
  }

  store.apply = (changes) => {
    const summary = { added: [], changed: new Set(), series: new Set(), table: false, runFields: false };
    if (changes.columns) {
      store.columns = changes.columns;
      summary.table = true;
    }
    if (changes.generated_at !== undefined) store.generatedAt = changes.generated_at;
    if (changes.x) store.x = changes.x;
    for (const change of changes.runs ?? []) {
      let run = store.byId.get(change.id);
      if (!run) {
        run = newRun(change.id);
        store.runs.push(run);
        store.byId.set(change.id, run);
        summary.added.push(run);
      }
      for (const [field, property] of Object.entries(RUN_FIELDS)) {
        if (change[field] !== undefined) {
          run[property] = change[field];
          summary.runFields = true;
        }
      }
      if (change.metadata) {
        summary.runFields = true;
        run.metadata = change.metadata;
        run.values = new Map(change.metadata.map(([key, text]) => [key, metadataValue(text)]));
      }
      for (const series of change.series ?? []) {
        applySeries(run, series);
        summary.series.add(series.name);
      }
      summary.changed.add(run);
    }
    for (const listener of store.listeners) listener(summary);
    return summary;
  };

  store.subscribe = (listener) => store.listeners.push(listener);
  return store;
}
