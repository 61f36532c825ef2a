// The x range the charts open with. Pure.
//
// One run far longer than the rest would squash them against the left edge (a 31,000-step run
// beside a 200-step sweep), so when the longest ends more than four times further out than most
// runs do, the charts open on the range that covers most runs, and the longer ones are counted so
// that each chart can say they go on.

function defaultXRange(starts, ends) {
  if (ends.length < 2) return null;
  const low = Math.min(...starts);
  const sorted = [...ends].sort((p, q) => p - q);
  const typical = sorted[Math.floor((sorted.length - 1) * 0.75)];
  const longest = sorted[sorted.length - 1];
  if (!(typical > low) || longest - low <= 4 * (typical - low)) return null;
  const high = low + (typical - low) * 1.05;
  return { range: [low, high], beyond: ends.filter((end) => end > high).length, longest };
}
