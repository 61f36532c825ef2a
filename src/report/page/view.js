// What the reader chose (the view state) and what follows from it for every part of the page:
// which runs are shown, how they are labelled and coloured. The state outlives every redraw, so a
// change of data never resets a choice.

// The most points one chart draws; see lines.js.
const CHART_POINT_BUDGET = 8000;

function createView(store) {
  const view = {
    store,
    state: {
      x: store.x,
      alpha: 0,
      groupOver: [],
      band: "minmax",
      colourBy: "",
      number: "last",
      seriesFilter: "",
      runFilter: "",
      hidden: new Set(),
      brushes: new Map(),
      selected: null,
      xRange: null,
      logByChart: new Map(),
      sort: { column: null, descending: false },
      hyperSeries: null,
      scatterKey: null,
    },
    colours: null,
    parts: [],
  };
  const state = view.state;
  let groupOverChosen = false;
  let xChosen = false;

  // Figures derived from all runs (scales, differing keys), kept until the next refresh.
  let memo = new Map();
  const remember = (key, compute) => {
    if (!memo.has(key)) memo.set(key, compute());
    return memo.get(key);
  };

  view.labelKeys = () => remember("labelKeys", () => differingKeys(store.runs));

  // What the data asks for until the reader chooses: its x axis, and grouping over seed-like keys
  // once they first appear.
  view.applyDefaults = () => {
    memo = new Map();
    if (!xChosen) state.x = store.x;
    if (groupOverChosen) return;
    const keys = defaultGroupKeys(view.labelKeys());
    if (keys.length > 0) {
      state.groupOver = keys;
      groupOverChosen = true;
    }
  };
  view.chooseX = (x) => {
    state.x = x;
    xChosen = true;
  };
  view.chooseGroups = (keys) => {
    state.groupOver = keys;
    groupOverChosen = true;
  };

  // The number that stands for a run's series in the table and the hyperparameter charts.
  view.number = (run, name) => {
    const series = run.series.get(name);
    return series ? series[state.number] : undefined;
  };

  view.matchesFilter = (run) => {
    const text = state.runFilter.trim().toLowerCase();
    if (!text) return true;
    const haystack = [run.name, run.id, run.status, ...run.metadata.flat()].join("\n").toLowerCase();
    return text.split(/\s+/).every((word) => haystack.includes(word));
  };

  view.withinBrushes = (run) => {
    for (const [axis, [low, high]] of state.brushes) {
      const position = view.axisPosition(axis, run);
      if (!(position >= low && position <= high)) return false;
    }
    return true;
  };

  // A hyperparameter axis ("meta:<key>" or "series:<name>") and where a run sits along it, 0 to 1.
  view.axisValue = (axis, run) =>
    axis.startsWith("meta:") ? run.values.get(axis.slice(5)) : view.number(run, axis.slice(7));
  view.axisScale = (axis) =>
    remember("axis " + axis + " " + state.number, () => valueScale(store.runs.map((run) => view.axisValue(axis, run))));
  view.axisPosition = (axis, run) => view.axisScale(axis).position(view.axisValue(axis, run));

  view.isShown = (run) => !state.hidden.has(run.id) && view.matchesFilter(run) && view.withinBrushes(run);
  view.shownRuns = () => store.runs.filter(view.isShown);

  const colourScale = () => remember("colour " + state.colourBy,
    () => valueScale(store.runs.map((run) => run.values.get(state.colourBy))));

  // While runs are grouped, each group has a colour and its runs share it, wherever they show.
  const groupIndex = () => remember("groups " + state.groupOver.join("\n"), () => {
    const index = new Map();
    groupRuns(store.runs, state.groupOver).forEach((group, i) => {
      for (const run of group.runs) index.set(run.id, i);
    });
    return index;
  });
  const paletteColour = (index) => {
    const colours = view.colours.colours;
    return { colour: colours[index % colours.length], dashed: index >= colours.length };
  };

  view.colourOfRun = (run) => {
    if (state.colourBy) {
      const scale = colourScale();
      return { colour: scaleColour(scale, run.values.get(state.colourBy), view.colours), dashed: false };
    }
    return paletteColour(state.groupOver.length > 0 ? groupIndex().get(run.id) : run.order);
  };

  view.colourOfGroup = (group) => {
    if (state.colourBy) {
      const values = group.runs.map((run) => run.values.get(state.colourBy));
      const numbers = values.filter((value) => typeof value === "number");
      const value = numbers.length === values.length && numbers.length > 0
        ? numbers.reduce((sum, each) => sum + each / numbers.length, 0)
        : values[0];
      return { colour: scaleColour(colourScale(), value, view.colours), dashed: false };
    }
    return paletteColour(groupIndex().get(group.runs[0].id));
  };

  // The choices a chart's lines depend on, gathered once per redraw.
  view.chartView = () => ({
    x: state.x,
    alpha: state.alpha,
    groupOver: state.groupOver,
    band: state.band,
    labelKeys: view.labelKeys(),
    colourOfRun: view.colourOfRun,
    colourOfGroup: view.colourOfGroup,
    pointBudget: CHART_POINT_BUDGET,
  });

  view.select = (id) => {
    state.selected = state.selected === id ? null : id;
    view.refresh({ selection: true });
  };

  // Parts of the page register here and redraw when told; `what` names the kind of change.
  view.register = (part) => view.parts.push(part);
  view.refresh = (what = {}) => {
    memo = new Map();
    for (const part of view.parts) part.refresh(what);
  };
  view.update = (changes, what = {}) => {
    Object.assign(state, changes);
    view.refresh(what);
  };
  return view;
}
