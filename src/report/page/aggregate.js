// A group of runs as one line: at each bucket (of one width for all, so that a bucket index names
// the same steps in every run) the mean, spread and number of the runs that have it. Only buckets
// the runs hold are used; nothing is interpolated. Pure.

// `members`: one per run, {index: [bucket indexes, ascending], x: [...], value: [...]}.
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
        slot = { index: member.index[i], xs: [], values: [] };
        byIndex.set(member.index[i], slot);
      }
      slot.xs.push(member.x[i]);
      slot.values.push(value);
    }
  }
  const out = [];
  for (const slot of [...byIndex.values()].sort((p, q) => p.index - q.index)) {
    const n = slot.values.length;
    let mean = 0;
    let x = 0;
    for (let i = 0; i < n; i++) {
      mean += slot.values[i] / n;
      x += slot.xs[i] / n;
    }
    let squares = 0;
    for (const value of slot.values) squares += ((value - mean) / n) * (value - mean);
    const std = n > 1 ? Math.sqrt((squares * n) / (n - 1)) : 0;
    out.push({
      index: slot.index,
      x,
      n,
      mean,
      std: Number.isFinite(std) ? std : 0,
      min: Math.min(...slot.values),
      max: Math.max(...slot.values),
    });
  }
  return out;
}
