// Smoothing: a debiased exponential moving average that accounts for uneven step spacing. Pure.
//
// A point k steps before another weighs alpha^(k / spacing) in its average, spacing being the
// series' mean step spacing: with evenly spaced points this is the usual per-point average, and a
// gap of ten spacings decays like ten points would. Dividing by the sum of the weights (rather
// than starting from 0) removes the pull towards zero at the start. It is computed from each
// bucket's count and mean, that is from every point, however thin the drawing is; the points of a
// bucket are taken to sit at its middle step.

function smoothBuckets(buckets, alpha, spacing = meanStepSpacing(buckets)) {
  const out = new Float64Array(buckets.length);
  let smoothed = 0;
  let weight = 0;
  let previousStep = 0;
  for (let i = 0; i < buckets.length; i++) {
    const bucket = buckets[i];
    const step = (bucket.s0 + bucket.s1) / 2;
    const decay = i === 0 ? 0 : Math.pow(alpha, (step - previousStep) / spacing);
    const kept = weight * decay;
    const total = kept + bucket.n;
    // A convex mix of two finite values, so it stays finite near the largest doubles.
    smoothed = smoothed * (kept / total) + bucket.m * (bucket.n / total);
    weight = total;
    previousStep = step;
    out[i] = smoothed;
  }
  return out;
}
