// Runs named for people: by their name and the metadata that differs between the runs on the
// page, and grouped by what they share. Pure functions over store runs
// ({name, metadata: [[key, text]], ...}).

const JSON_NUMBER = /^-?(0|[1-9]\d*)(\.\d+)?([eE][+-]?\d+)?$/;

// A metadata cell as a number when it reads as one, else its text.
function metadataValue(text) {
  if (typeof text === "string" && JSON_NUMBER.test(text)) {
    const number = Number(text);
    if (Number.isFinite(number)) return number;
  }
  return text;
}

function metadataText(run, key) {
  for (const [name, text] of run.metadata) {
    if (name === key) return text;
  }
  return undefined;
}

// The metadata keys whose values differ between the runs (a key some runs lack differs too), in
// the order first seen.
function differingKeys(runs) {
  const keys = [];
  const seen = new Set();
  for (const run of runs) {
    for (const [key] of run.metadata) {
      if (!seen.has(key)) {
        seen.add(key);
        keys.push(key);
      }
    }
  }
  if (runs.length < 2) return [];
  return keys.filter((key) => new Set(runs.map((run) => metadataText(run, key))).size > 1);
}

// "sweep lr=0.1 seed=2": the name and the given keys' values, the run's own when `keys` differ.
function runLabel(run, keys) {
  const parts = [run.name];
  for (const key of keys) {
    const text = metadataText(run, key);
    if (text !== undefined) parts.push(key + "=" + text);
  }
  return parts.join(" ");
}

// What a "group over" offers first: keys named seed or ending in _seed.
function defaultGroupKeys(keys) {
  return keys.filter((key) => /^(.*_)?seed$/i.test(key));
}

// Runs that differ only in `overKeys` share this key: their name and every other metadata value.
function groupKeyOf(run, overKeys) {
  const over = new Set(overKeys);
  const rest = run.metadata.filter(([key]) => !over.has(key)).sort((p, q) => (p[0] < q[0] ? -1 : 1));
  return JSON.stringify([run.name, rest]);
}

// Groups in the order of their first run: [{key, runs}].
function groupRuns(runs, overKeys) {
  const groups = new Map();
  for (const run of runs) {
    const key = groupKeyOf(run, overKeys);
    if (!groups.has(key)) groups.set(key, { key, runs: [] });
    groups.get(key).runs.push(run);
  }
  return [...groups.values()];
}
