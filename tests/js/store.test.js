const test = require("node:test");
const assert = require("node:assert/strict");
const { loadPage } = require("./page_scripts");

const { createStore, differingKeys, runLabel, defaultGroupKeys, groupRuns, defaultXRange } =
  loadPage(["createStore", "differingKeys", "runLabel", "defaultGroupKeys", "groupRuns", "defaultXRange"]);

const run = (id, metadata, series = []) => ({ id, name: "sweep", metadata, series });

test("changes arrive in pieces and update runs in place", () => {
  const store = createStore();
  const seen = [];
  store.subscribe((summary) => seen.push(summary));
  store.apply({ columns: ["id"], runs: [run("a", [["lr", "0.1"]], [
    { name: "loss", count: 2, w: 0, b: [1, 0, 0, 5, 1, 1, 10, 4] },
  ])] });
  // Records appended: the last bucket is rewritten and one added, counted from the kept ones.
  store.apply({ runs: [{ id: "a", series: [{ name: "loss", count: 3, w: 0, from: 1, b: [1, 1, 10, 3.5, 1, 1, 10, 3] }] }] });
  const loss = store.byId.get("a").series.get("loss");
  assert.deepEqual(loss.buckets.map((b) => [b.s0, b.e0, b.m]), [[0, 0, 5], [1, 10, 3.5], [2, 20, 3]]);
  assert.equal(store.byId.get("a").length, 2);
  assert.equal(seen[1].runFields, false);
  assert.deepEqual([...seen[1].series], ["loss"]);

  store.apply({ runs: [{ id: "a", status: "failed" }, run("b", [["lr", "1"]])] });
  assert.equal(store.byId.get("a").status, "failed");
  assert.equal(seen[2].runFields, true);
  assert.deepEqual(seen[2].added.map((each) => each.id), ["b"]);
  assert.deepEqual(store.runs.map((each) => [each.id, each.order]), [["a", 0], ["b", 1]]);
  assert.equal(store.byId.get("b").values.get("lr"), 1);

  // A coarser width replaces the series whole.
  store.apply({ runs: [{ id: "a", series: [{ name: "loss", w: 2, from: 1, b: [3, 0, 0, 2, 20, 3.8, 3, 5] }] }] });
  assert.deepEqual(store.byId.get("a").series.get("loss").buckets.map((b) => [b.n, b.s1, b.a, b.b]), [[3, 2, 3, 5]]);
});

test("runs are labelled by the metadata that differs, and grouped over seeds", () => {
  const runs = [0.1, 1].flatMap((lr) => [0, 1, 2].map((seed) =>
    run(`${lr}-${seed}`, [["batch", "64"], ["lr", String(lr)], ["seed", String(seed)]])));
  const keys = differingKeys(runs);
  assert.deepEqual(keys, ["lr", "seed"]);
  assert.equal(runLabel(runs[5], keys), "sweep lr=1 seed=2");
  assert.deepEqual(defaultGroupKeys(["seed", "data_seed", "seeds", "Seed", "lr"]), ["seed", "data_seed", "Seed"]);
  const groups = groupRuns(runs, ["seed"]);
  assert.deepEqual(groups.map((group) => group.runs.length), [3, 3]);
  const renamed = [...runs.slice(0, 2), { ...runs[2], name: "other" }];
  assert.equal(groupRuns(renamed, ["seed"]).length, 2);
});

test("one long run does not squash the others", () => {
  const opening = defaultXRange([0, 0, 0, 0], [199, 199, 200, 31000]);
  assert.deepEqual(opening.range, [0, 210]);
  assert.equal(opening.beyond, 1);
  assert.equal(defaultXRange([0, 0, 0], [100, 180, 200]), null);
  assert.equal(defaultXRange([0], [31000]), null);
});
