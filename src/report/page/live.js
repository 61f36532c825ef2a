// The live page: follows the server's changes and hands them to the page's store, so lines grow,
// runs appear and statuses change in place, while the reader's choices (zoom, selection,
// grouping, smoothing, filters), which live in the view, stay. A request for changes waits at the
// server until there are some (a few seconds at most), so the page asks again at once.
//
// Series are fetched per run, for the runs shown only: a page over a thousand runs shows the
// newest twenty at first and loads another run's series when the reader shows it. Changes to the
// series of a run the page has not loaded are dropped; the run's series come whole when it shows.

const SHOWN_AT_FIRST = 20;
const SERIES_BATCH = 20;
const RETRY_MS = 2000;

const data = document.getElementById("trovik-data");
const { store, view } = data.page;
let cursor = 0;
let stopped = false;
const loaded = new Set();
const pending = new Set();
const unavailable = new Set();
// Changes wait here until the next frame and are applied together: every apply redraws the
// 1,000-row table, so what arrives within one frame (a poll's changes, a batch of series) costs
// one redraw. The first changes also wait for the first batch of series, so that the page over
// many runs draws its newest runs once rather than first without their series.
let queued = [];
let flushAsked = false;
let holdingForSeries = false;

async function getJson(target) {
  const response = await fetch(target, { cache: "no-store", credentials: "same-origin" });
  // Refused: the server was started again (another token) or stopped letting this page in.
  if (response.status === 403) stopped = true;
  if (!response.ok) throw new Error(target + ": " + response.status);
  return response.json();
}

// Says once, at the top, that what shows is no longer followed.
function sayStopped() {
  const note = document.createElement("p");
  note.className = "left-out";
  note.textContent = "The server no longer answers this page: it shows the runs as they were.";
  document.querySelector("header").append(note);
}

// Fetches the series of the runs shown that the page lacks, a batch at a time, and queues each
// batch as one change: every apply redraws the table and the charts, which over a thousand runs is
// what costs, not the fetching. `candidates` are the runs shown, or, before the first changes are
// applied, the runs they will show.
function loadShownSeries(candidates = view.shownRuns()) {
  if (pending.size > 0 || stopped) return;
  const wanted = candidates
    .filter((run) => !loaded.has(run.id) && !unavailable.has(run.id))
    .slice(0, SERIES_BATCH);
  if (wanted.length === 0) return;
  for (const run of wanted) pending.add(run.id);
  const asked = cursor;
  Promise.all(wanted.map((run) => getJson("/api/series?run=" + encodeURIComponent(run.id)).then(
    (answer) => answer,
    () => {
      unavailable.add(run.id);
      return null;
    },
  ))).then((answers) => {
    pending.clear();
    holdingForSeries = false;
    // An answer older than changes the page took since could have buckets behind them: asked again.
    const fresh = answers.filter((answer) => answer && answer.cursor >= cursor);
    for (const answer of fresh) loaded.add(answer.run_id);
    if (fresh.length > 0) enqueue({ runs: fresh.flatMap((answer) => answer.runs) });
    scheduleFlush();
    // Applied, the batch asks for the next through the refresh; stale, it is asked for again now.
    if (fresh.length === 0 && asked !== cursor) loadShownSeries();
  });
}

function scheduleFlush() {
  if (flushAsked || queued.length === 0 || holdingForSeries) return;
  flushAsked = true;
  requestAnimationFrame(flush);
}

function enqueue(changes) {
  queued.push(changes);
  scheduleFlush();
}

// One change made of the queued ones, in their order: the store applies a run's entries one
// after another, so a run named twice gets both, as it would from two applies.
function flush() {
  flushAsked = false;
  if (holdingForSeries) return;
  const batch = queued;
  queued = [];
  const merged = { runs: [] };
  const known = new Set(store.byId.keys());
  for (const changes of batch) {
    if (changes.columns) merged.columns = changes.columns;
    if (changes.generated_at !== undefined) merged.generated_at = changes.generated_at;
    if (changes.x) merged.x = changes.x;
    merged.runs.push(...(applicable(changes, known).runs ?? []));
  }
  if (merged.runs.length > 0 || merged.columns) store.apply(merged);
}

// The series of runs the page holds no series of are left out; a run new to the page comes whole.
// `known`: the runs the page holds, with those named earlier in the same batch.
function applicable(changes, known) {
  for (const run of changes.runs ?? []) {
    if (run.series !== undefined && !loaded.has(run.id)) {
      if (known.has(run.id)) delete run.series;
      else loaded.add(run.id);
    }
    known.add(run.id);
  }
  return changes;
}

async function follow() {
  while (!stopped) {
    try {
      const changes = await getJson("/api/changes?since=" + cursor);
      const first = cursor === 0;
      if (first) {
        for (const run of (changes.runs ?? []).slice(SHOWN_AT_FIRST)) view.state.hidden.add(run.id);
      }
      cursor = changes.cursor;
      if (first) {
        holdingForSeries = true;
        loadShownSeries((changes.runs ?? []).slice(0, SHOWN_AT_FIRST));
        holdingForSeries = pending.size > 0;
      }
      if ((changes.runs ?? []).length > 0 || changes.columns) enqueue(changes);
    } catch (error) {
      if (!stopped) await new Promise((resume) => setTimeout(resume, RETRY_MS));
    }
  }
  sayStopped();
}

view.register({ refresh: () => loadShownSeries() });
follow();
