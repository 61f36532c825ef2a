// Colours for runs: the palette by run, or a scale over one metadata key's values. Pure; the
// palette itself comes from the page's style sheet.

// A sequential scale from blue through teal and green to amber and orange: every step of it reads
// on a white and on a near-black background, which the usual maps' darkest or lightest ends do not.
const SEQUENTIAL_STOPS = [
  [58, 111, 216], [31, 165, 160], [124, 194, 74], [224, 178, 27], [232, 89, 12],
];

function sequentialColour(t) {
  const clamped = Math.min(1, Math.max(0, Number.isFinite(t) ? t : 0));
  const position = clamped * (SEQUENTIAL_STOPS.length - 1);
  const at = Math.min(SEQUENTIAL_STOPS.length - 2, Math.floor(position));
  const share = position - at;
  const mix = SEQUENTIAL_STOPS[at].map((channel, i) =>
    Math.round(channel + (SEQUENTIAL_STOPS[at + 1][i] - channel) * share));
  return "rgb(" + mix.join(", ") + ")";
}

// A scale over the given values: numbers along [0, 1] (by logarithm when positive and spanning two
// decades or more), anything else as categories. Returns {kind, position(value), categories}.
function valueScale(values) {
  const present = values.filter((value) => value !== undefined && value !== null);
  const numbers = present.filter((value) => typeof value === "number");
  if (present.length > 0 && numbers.length === present.length) {
    const min = Math.min(...numbers);
    const max = Math.max(...numbers);
    const log = prefersLogScale(min, max, 2);
    const map = log ? Math.log10 : (value) => value;
    const low = map(min);
    const span = map(max) - low;
    return {
      kind: log ? "log" : "linear",
      min,
      max,
      distinct: [...new Set(numbers)].sort((p, q) => p - q),
      position: (value) => (typeof value !== "number" ? NaN : span > 0 ? (map(value) - low) / span : 0.5),
    };
  }
  const categories = [...new Set(present.map(String))].sort();
  return {
    kind: "category",
    categories,
    position: (value) => {
      const at = categories.indexOf(String(value));
      if (at < 0) return NaN;
      return categories.length > 1 ? at / (categories.length - 1) : 0.5;
    },
  };
}

// The colour of a value on a scale: sequential for numbers, the palette for categories.
function scaleColour(scale, value, palette) {
  if (scale.kind === "category") {
    const at = scale.categories.indexOf(String(value));
    return at < 0 ? palette.missing : palette.colours[at % palette.colours.length];
  }
  const position = scale.position(value);
  return Number.isNaN(position) ? palette.missing : sequentialColour(position);
}
