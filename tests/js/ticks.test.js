const test = require("node:test");
const assert = require("node:assert/strict");
const { loadPage } = require("./page_scripts");

const { linearTicks, logTicks, timeTicks, prefersLogScale, formatNumber, unscaledLabels, drawingScale } =
  loadPage(["linearTicks", "logTicks", "timeTicks", "prefersLogScale", "formatNumber", "unscaledLabels",
    "drawingScale"]);

const labels = (ticks) => ticks.map((tick) => tick.label);

test("a log axis is ticked at powers of ten", () => {
  assert.deepEqual(labels(logTicks(0.001, 20, 8)), ["0.001", "0.01", "0.1", "1", "10"]);
  assert.deepEqual(labels(logTicks(1e-9, 1e3, 4)), ["1e-8", "1e-4", "1"]);
  assert.deepEqual(labels(logTicks(2, 9, 5)), ["2", "5"]);
});

const cases = [
  [[0.0312, 2.47, 5], ["0.5", "1.0", "1.5", "2.0"]],
  [[-3.2, -0.4, 5], ["-3", "-2", "-1"]],
  [[0, 3, 6, true], ["0", "1", "2", "3"]],
  [[0, 3e7, 3], ["0", "10M", "20M", "30M"]],
  [[0, 2e5, 4, true], ["0", "50k", "100k", "150k", "200k"]],
  [[1e-6, 4e-6, 3], ["1e-6", "2e-6", "3e-6", "4e-6"]],
];
for (const [[low, high, count, whole], expected] of cases) {
  test(`linear ticks over [${low}, ${high}] read ${expected.join(" ")}`, () => {
    assert.deepEqual(labels(linearTicks(low, high, count, whole)), expected);
  });
}

test("ranges near the largest doubles still get labelled ticks", () => {
  for (const [low, high] of [[-1.7e308, 1.7e308], [1e308, 1.7976931348623157e308], [5, 5]]) {
    const ticks = linearTicks(low, high, 5);
    assert.ok(ticks.length >= 2, `${low} .. ${high}`);
    assert.ok(ticks.every((tick) => Number.isFinite(tick.v) && /\d/.test(tick.label)));
  }
});

test("values drawn scaled down keep labels of their own size", () => {
  const scale = drawingScale(1.7e308);
  const ticks = unscaledLabels(linearTicks(1.5e308 * scale, 1.7e308 * scale, 4), scale);
  assert.deepEqual(labels(ticks), ["1.50e308", "1.55e308", "1.60e308", "1.65e308", "1.70e308"]);
  assert.equal(drawingScale(1e6), 1);
});

test("log is chosen for positive series spanning three decades", () => {
  assert.equal(prefersLogScale(0.001, 20), true);
  assert.equal(prefersLogScale(0.1, 20), false);
  assert.equal(prefersLogScale(-1, 20), false);
  assert.equal(prefersLogScale(1, 1.7e308), true);
});

test("elapsed time is ticked in a unit that reads well", () => {
  assert.deepEqual(labels(timeTicks(0, 0.5, 5)), ["0 ms", "100 ms", "200 ms", "300 ms", "400 ms", "500 ms"]);
  assert.deepEqual(labels(timeTicks(0, 7200, 4)), ["0 min", "50 min", "100 min"]);
  assert.equal(labels(timeTicks(0, 36000, 3)).at(-1), "10 h");
});

test("table numbers read as the command prints them", () => {
  assert.deepEqual([0.055364750824420376, 1234567, 2e-5, -0.5, 0].map(formatNumber),
    ["0.0553648", "1.23457e+06", "2e-05", "-0.5", "0"]);
});
