const test = require("node:test");
const assert = require("node:assert/strict");
const { loadPage } = require("./page_scripts");

const { smoothBuckets, meanStepSpacing } = loadPage(["smoothBuckets", "meanStepSpacing"]);

const point = (step, value, n = 1) => ({ n, s0: step, s1: step, e0: 0, e1: 0, m: value, a: value, b: value });

// Every earlier point weighs alpha^(distance in steps / spacing), normalised by the weights' sum.
function reference(points, alpha, spacing) {
  return points.map((at, i) => {
    let sum = 0;
    let weights = 0;
    for (let j = 0; j <= i; j++) {
      const weight = Math.pow(alpha, (at.step - points[j].step) / spacing) * points[j].n;
      sum += weight * points[j].value;
      weights += weight;
    }
    return sum / weights;
  });
}

function assertClose(actual, expected) {
  assert.equal(actual.length, expected.length);
  for (let i = 0; i < expected.length; i++) {
    assert.ok(Math.abs(actual[i] - expected[i]) <= 1e-12 * (1 + Math.abs(expected[i])),
      `at ${i}: ${actual[i]} != ${expected[i]}`);
  }
}

const noisy = [3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8].map((value, step) => ({ step, value, n: 1 }));
const uneven = [[0, 10], [1, 8], [2, 9], [10, 1], [11, 2], [40, 0.5]].map(([step, value]) => ({ step, value, n: 1 }));

for (const [name, points] of [["even", noisy], ["uneven", uneven]]) {
  for (const alpha of [0, 0.5, 0.9, 0.99]) {
    test(`debiased moving average over ${name} steps, alpha ${alpha}`, () => {
      const buckets = points.map((p) => point(p.step, p.value));
      const spacing = meanStepSpacing(buckets);
      assertClose(smoothBuckets(buckets, alpha), reference(points, alpha, spacing));
    });
  }
}

test("a gap in the steps decays the past like the points it skips would", () => {
  // The same two values once 1 spacing apart, once 10: the far one forgets the first value more.
  const near = smoothBuckets([point(0, 0), point(1, 1)], 0.9, 1);
  const far = smoothBuckets([point(0, 0), point(10, 1)], 0.9, 1);
  assert.ok(far[1] > near[1]);
  assertClose([far[1]], [1 / (1 + Math.pow(0.9, 10))]);
});

test("no pull towards zero at the start, and a constant stays constant", () => {
  const constant = smoothBuckets([point(0, 7), point(3, 7), point(4, 7, 5)], 0.99);
  assert.deepEqual([...constant], [7, 7, 7]);
  assert.equal(smoothBuckets([point(5, -2)], 0.9)[0], -2);
});

test("a bucket weighs every point it holds, not one kept point", () => {
  // Four points at one step with mean 2 count as four, against one point of 10 before them.
  const thinned = smoothBuckets([point(0, 10), point(1, 2, 4)], 0.5, 1);
  const all = reference([{ step: 0, value: 10, n: 1 }, { step: 1, value: 2, n: 4 }], 0.5, 1);
  assertClose(thinned, all);
  assertClose([thinned[1]], [(0.5 * 10 + 4 * 2) / (0.5 + 4)]);
});

test("values near the largest doubles stay finite", () => {
  const huge = smoothBuckets([point(0, 1.7e308), point(1, 1.7e308), point(2, -1.7e308)], 0.6);
  assert.ok([...huge].every(Number.isFinite));
});
