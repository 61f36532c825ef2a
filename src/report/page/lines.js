// What one chart draws, computed from the store's runs and the view's choices: a line per shown
// run, or per group of runs, each with its points along the chosen x, a band for groups, and the
// raw line to keep faintly under a smoothed one. Pure: no DOM, no drawing.
//
// view: {x: "step" | "elapsed" | "fraction", alpha (smoothing, 0 for none), groupOver (keys),
//        band: "minmax" | "std", labelKeys (the keys that differ between runs),
//        colourOfRun(run), colourOfGroup(group): {colour, dashed},
//        pointBudget: the most points one chart draws (0 for no limit)}
//
// A chart of many runs draws each with fewer points: past the budget, buckets are merged
// (as the command merges them) until the chart fits. Two hundred lines of eighty points each
// draw no clearer than of thirty, and a browser's canvas takes time for every segment.

// A run's x for a step and elapsed milliseconds.
function xOf(mode, run) {
  if (mode === "elapsed") return (step, elapsed) => elapsed / 1000;
  if (mode === "fraction") {
    const length = run.length > 0 ? run.length : 1;
    return (step) => step / length;
  }
  return (step) => step;
}

function sortedByX(points) {
  for (let i = 1; i < points.length; i++) {
    if (points[i][0] < points[i - 1][0]) return points.slice().sort((p, q) => p[0] - q[0]);
  }
  return points;
}

function bucketMiddle(bucket, toX) {
  return toX((bucket.s0 + bucket.s1) / 2, (bucket.e0 + bucket.e1) / 2);
}

// The shape of the thinned series: each bucket's lowest and highest value, in step order, a
// quarter of the way in from either end of it; a bucket of one point, or of one value, at its
// own place.
function rawPoints(buckets, toX) {
  const points = [];
  for (const bucket of buckets) {
    if (bucket.n === 1) {
      points.push([toX(bucket.s0, bucket.e0), bucket.m]);
    } else if (bucket.a === bucket.b) {
      points.push([bucketMiddle(bucket, toX), bucket.a]);
    } else {
      const ds = (bucket.s1 - bucket.s0) / 4;
      const de = (bucket.e1 - bucket.e0) / 4;
      points.push([toX(bucket.s0 + ds, bucket.e0 + de), bucket.a]);
      points.push([toX(bucket.s1 - ds, bucket.e1 - de), bucket.b]);
    }
  }
  return sortedByX(points);
}

function smoothedPoints(buckets, alpha, toX) {
  const values = smoothBuckets(buckets, alpha);
  return sortedByX(buckets.map((bucket, i) => [bucketMiddle(bucket, toX), values[i]]));
}

// A run's buckets merged until at most `most` remain.
function atMostBuckets(series, most) {
  let buckets = series.buckets;
  for (let width = series.w; buckets.length > most && width < 64; width++) {
    buckets = coarsenBuckets(buckets, width, width + 1);
  }
  return buckets;
}

function runLine(run, series, view, mostBuckets) {
  const toX = xOf(view.x, run);
  const buckets = atMostBuckets(series, mostBuckets);
  const raw = rawPoints(buckets, toX);
  const { colour, dashed } = view.colourOfRun(run);
  return {
    id: "run:" + run.id,
    label: runLabel(run, view.labelKeys),
    runs: [run],
    colour,
    dashed,
    main: view.alpha > 0 ? smoothedPoints(buckets, view.alpha, toX) : raw,
    faint: view.alpha > 0 ? raw : null,
    band: null,
    counts: null,
  };
}

// A group's line: its runs' buckets at one width, the widest of theirs, or wider still until no
// run has more than `mostBuckets`.
function groupLine(group, name, view, mostBuckets) {
  const members = group.runs.map((run) => ({ run, series: run.series.get(name) }));
  let width = Math.max(...members.map((member) => member.series.w));
  let widest = members.map(({ series }) => coarsenBuckets(series.buckets, series.w, width));
  while (widest.some((buckets) => buckets.length > mostBuckets) && width < 64) {
    widest = widest.map((buckets) => coarsenBuckets(buckets, width, width + 1));
    width += 1;
  }
  const smoothed = [];
  const raw = [];
  for (const [i, { run }] of members.entries()) {
    const buckets = widest[i];
    const toX = xOf(view.x, run);
    const index = buckets.map((bucket) => bucketIndex(bucket, width));
    const x = buckets.map((bucket) => bucketMiddle(bucket, toX));
    const means = buckets.map((bucket) => bucket.m);
    raw.push({ index, x, value: means });
    smoothed.push({ index, x, value: view.alpha > 0 ? smoothBuckets(buckets, view.alpha) : means });
  }
  // In elapsed time the runs' buckets need not come in order of x.
  const aggregated = aggregateAtSharedBuckets(smoothed).sort((p, q) => p.x - q.x);
  const keys = view.labelKeys.filter((key) => !view.groupOver.includes(key));
  const { colour, dashed } = view.colourOfGroup(group);
  return {
    id: "group:" + group.key,
    label: runLabel(group.runs[0], keys),
    runs: group.runs,
    colour,
    dashed,
    main: aggregated.map((point) => [point.x, point.mean]),
    band: aggregated.map((point) =>
      view.band === "std" ? [point.mean - point.std, point.mean + point.std] : [point.min, point.max]),
    counts: aggregated.map((point) => point.n),
    faint: view.alpha > 0
      ? sortedByX(aggregateAtSharedBuckets(raw).map((point) => [point.x, point.mean]))
      : null,
  };
}

// The lines of the chart of series `name` over `runs` (the shown ones, in page order).
function chartLines(runs, name, view) {
  const having = runs.filter((run) => run.series.has(name) && run.series.get(name).buckets.length > 0);
  const most = (lines, perBucket) => view.pointBudget > 0
    ? Math.max(8, Math.floor(view.pointBudget / perBucket / Math.max(1, lines))) : Infinity;
  if (view.groupOver.length === 0) {
    // Up to two points a bucket for the raw line, one more for the smoothed one.
    const mostBuckets = most(having.length, view.alpha > 0 ? 3 : 2);
    return having.map((run) => runLine(run, run.series.get(name), view, mostBuckets));
  }
  // A point a bucket for the mean, two for its band, one more for the raw mean.
  const groups = groupRuns(having, view.groupOver);
  const mostBuckets = most(groups.length, view.alpha > 0 ? 4 : 3);
  return groups.map((group) => groupLine(group, name, view, mostBuckets));
}

// The index of the point of `points` (sorted by x) nearest to x, or -1 when x lies outside the
// points' range by more than `margin`.
function nearestIndex(points, x, margin = 0) {
  if (points.length === 0) return -1;
  if (x < points[0][0] - margin || x > points[points.length - 1][0] + margin) return -1;
  let low = 0;
  let high = points.length - 1;
  while (low < high) {
    const middle = (low + high) >> 1;
    if (points[middle][0] < x) low = middle + 1;
    else high = middle;
  }
  if (low > 0 && x - points[low - 1][0] < points[low][0] - x) low -= 1;
  return low;
}
