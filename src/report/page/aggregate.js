// A group of runs as one line: at each bucket (of one width for all, so that a bucket index names
// the same steps in every run) the mean, spread and number of the runs that have it. Only buckets
// the runs hold are used; nothing is interpolated. Pure.

// `members`: one per run, {index: [bucket indexes], x: [...], value: [...]}.
// Returns [{index, x, n, mean, std, min, max}] in index order; x is the mean of the members' x,
// std the sample standard deviation (0 for one run).
function aggregateAtSharedBuckets(members) {
  const byIndex = new Map();
  for (const member of members) {
    for (let i = 0; i < member.index.length; i++) {
      const value = member.value[i];
      if (value === null || !Number.isFinite(value)) continue;
      let slot = byIndex.get(member.index[i]);
      if (!slot) {
        slot = { index: member.index[i], n: 0, x: 0, mean: 0, squares: 0, min: value, max: value };
        byIndex.set(member.index[i], slot);
      }
      // Running mean and sum of squared deviations (Welford); the means as convex mixes, so
      // that they stay finite near the largest doubles.
      slot.n += 1;
      const share = 1 / slot.n;
      const deviation = value - slot.mean;
      slot.mean = slot.mean * (1 - share) + value * share;
      slot.squares += deviation * (value - slot.mean);
      slot.x = slot.x * (1 - share) + member.x[i] * share;
      if (value < slot.min) slot.min = value;
      if (value > slot.max) slot.max = value;
    }
  }
  const out = [...byIndex.values()].sort((p, q) => p.index - q.index);
  return out.map(({ index, x, n, mean, squares, min, max }) => {
    const std = n > 1 ? Math.sqrt(squares / (n - 1)) : 0;
    return { index, x, n, mean, std: Number.isFinite(std) ? std : 0, min, max };
  });
}
