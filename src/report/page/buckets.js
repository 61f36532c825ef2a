// A series' thinned points as the page holds them: buckets of 2^w steps, each with its point
// count n, first and last step (s0, s1) and elapsed milliseconds (e0, e1), the mean of its values
// (m), and its lowest and highest value in the order of their steps (a, b). Pure functions.

// Reads the flat numbers the page carries (src/report/page_data.h). `previous` is the bucket
// before the first one, when these continue a series.
function decodeBuckets(flat, previous) {
  const buckets = [];
  let step = previous ? previous.s1 : 0;
  let elapsed = previous ? previous.e1 : 0;
  let i = 0;
  while (i < flat.length) {
    const n = flat[i];
    const s0 = step + flat[i + 1];
    const e0 = elapsed + flat[i + 2];
    if (n === 1) {
      const value = flat[i + 3];
      buckets.push({ n, s0, s1: s0, e0, e1: e0, m: value, a: value, b: value });
      i += 4;
    } else {
      const s1 = s0 + flat[i + 3];
      const e1 = e0 + flat[i + 4];
      buckets.push({ n, s0, s1, e0, e1, m: flat[i + 5], a: flat[i + 6], b: flat[i + 7] });
      i += 8;
    }
    step = buckets[buckets.length - 1].s1;
    elapsed = buckets[buckets.length - 1].e1;
  }
  return buckets;
}

// Which bucket of width 2^widthLog2 a bucket's steps fall into.
function bucketIndex(bucket, widthLog2) {
  return Math.floor(bucket.s0 / Math.pow(2, widthLog2));
}

// The weighted mean of two means, without a sum that could overflow near the largest doubles.
function combinedMean(meanA, countA, meanB, countB) {
  const shareB = countB / (countA + countB);
  const mean = meanA * (1 - shareB) + meanB * shareB;
  return Math.min(Math.max(mean, -Number.MAX_VALUE), Number.MAX_VALUE);
}

// Folds `later`, the next bucket at the same width, into a copy of `earlier`.
function mergeBuckets(earlier, later) {
  const low = Math.min(earlier.a, earlier.b);
  const high = Math.max(earlier.a, earlier.b);
  const laterLow = Math.min(later.a, later.b);
  const laterHigh = Math.max(later.a, later.b);
  const lowFromLater = laterLow < low;
  const highFromLater = laterHigh > high;
  let a;
  let b;
  if (lowFromLater === highFromLater) {
    [a, b] = lowFromLater ? [later.a, later.b] : [earlier.a, earlier.b];
  } else {
    // One extreme from each: the earlier bucket's comes first.
    [a, b] = lowFromLater ? [high, laterLow] : [low, laterHigh];
  }
  return {
    n: earlier.n + later.n,
    s0: earlier.s0,
    s1: later.s1,
    e0: earlier.e0,
    e1: later.e1,
    m: combinedMean(earlier.m, earlier.n, later.m, later.n),
    a,
    b,
  };
}

// The buckets at width 2^toLog2 (not narrower than fromLog2): neighbours that fall into one wider
// bucket merge, as the command's thinning merges them.
function coarsenBuckets(buckets, fromLog2, toLog2) {
  if (toLog2 <= fromLog2) return buckets;
  const out = [];
  let index = null;
  for (const bucket of buckets) {
    const at = bucketIndex(bucket, toLog2);
    if (out.length > 0 && at === index) {
      out[out.length - 1] = mergeBuckets(out[out.length - 1], bucket);
    } else {
      out.push(bucket);
      index = at;
    }
  }
  return out;
}

// The mean distance between neighbouring points, in steps, over the whole series.
function meanStepSpacing(buckets) {
  let count = 0;
  for (const bucket of buckets) count += bucket.n;
  if (count < 2) return 1;
  const span = buckets[buckets.length - 1].s1 - buckets[0].s0;
  return span > 0 ? span / (count - 1) : 1;
}
