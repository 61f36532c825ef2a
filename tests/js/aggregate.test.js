const test = require("node:test");
const assert = require("node:assert/strict");
const { loadPage } = require("./page_scripts");

const { aggregateAtSharedBuckets, chartLines, createStore } =
  loadPage(["aggregateAtSharedBuckets", "chartLines", "createStore"]);

const member = (index, value, x = index) => ({ index, x, value });

test("each bucket averages only the runs that have it, and says how many", () => {
  const a = member([0, 1, 2, 3], [1, 2, 3, 4]);
  const b = member([0, 2], [3, 5]);
  const c = member([2, 3, 9], [7, 8, 100], [2.5, 3.5, 9.5]);
  const out = aggregateAtSharedBuckets([a, b, c]);
  assert.deepEqual(out.map((p) => [p.index, p.n]), [[0, 2], [1, 1], [2, 3], [3, 2], [9, 1]]);
  assert.deepEqual(out.map((p) => p.mean), [2, 2, 5, 6, 100]);
  // x is never made up: a bucket held by one run sits where that run has it.
  assert.equal(out[4].x, 9.5);
  assert.ok(Math.abs(out[2].x - (2 + 2 + 2.5) / 3) < 1e-12);
  assert.deepEqual([out[2].min, out[2].max], [3, 7]);
  assert.ok(Math.abs(out[2].std - 2) < 1e-12);  // sample standard deviation of 3, 5, 7
  assert.equal(out[1].std, 0);
});

// Runs of one group thinned to different widths are coarsened to the widest before averaging.
test("a group's runs line up at the widest bucket width", () => {
  const store = createStore();
  const run = (id, seed, w, flat) => ({
    id, name: "sweep", metadata: [["lr", "0.1"], ["seed", String(seed)]],
    series: [{ name: "loss", count: 0, min: 1, max: 9, w, b: flat }],
  });
  store.apply({ runs: [
    run("a", 0, 0, [1, 0, 0, 1, 1, 1, 0, 2, 1, 1, 0, 3, 1, 1, 0, 4]),  // steps 0..3, width 1
    run("b", 1, 1, [2, 0, 0, 1, 0, 6, 5, 7, 1, 2, 0, 9]),             // steps 0-1 (mean 6), 3: 9
  ] });
  const view = {
    x: "step", alpha: 0, groupOver: ["seed"], band: "minmax", labelKeys: ["seed"],
    colourOfRun: () => ({ colour: "red", dashed: false }),
    colourOfGroup: () => ({ colour: "red", dashed: false }),
  };
  const [line] = chartLines(store.runs, "loss", view);
  assert.deepEqual(line.counts, [2, 2]);
  assert.deepEqual(line.main.map((p) => p[1]), [(1.5 + 6) / 2, (3.5 + 9) / 2]);
  assert.deepEqual(line.band, [[1.5, 6], [3.5, 9]]);
  assert.equal(line.label, "sweep");
  const ungrouped = chartLines(store.runs, "loss", { ...view, groupOver: [] });
  assert.deepEqual(ungrouped.map((each) => each.label), ["sweep seed=0", "sweep seed=1"]);
});
