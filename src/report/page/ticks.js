// Axis ticks and the choice between a linear and a log axis. Pure functions; every one of them
// stays finite for ranges up to the largest doubles.

// Positive, and spanning three decades or more: a loss from 20 to 0.001 is a flat line on a
// linear axis.
function prefersLogScale(min, max, decades = 3) {
  return min > 0 && Number.isFinite(max) && Math.log10(max) - Math.log10(min) >= decades;
}

// The smallest of 1, 2 or 5 times a power of ten that is at least `rough`.
function niceSpacing(rough) {
  const power = Math.pow(10, Math.floor(Math.log10(rough)));
  for (const multiple of [1, 2, 5]) {
    if (multiple * power >= rough * (1 - 1e-9)) return multiple * power;
  }
  return 10 * power;
}

// A tick's label with just the digits that tell the ticks apart ("0.25", "150k", "2e-6").
function tickLabel(value, spacing, largest) {
  if (value === 0) return "0";
  const spacingExponent = Math.floor(Math.log10(spacing) + 1e-9);
  let label;
  if (spacing >= 1000 && largest < 1e15) {
    const millions = largest >= 1e6;
    const unit = millions ? 1e6 : 1e3;
    const decimals = Math.max(0, -Math.floor(Math.log10(spacing / unit) + 1e-9));
    label = (value / unit).toFixed(decimals) + (millions ? "M" : "k");
  } else if (spacing >= 1e-4 && largest < 1e7) {
    label = value.toFixed(Math.max(0, -spacingExponent));
  } else {
    const largestExponent = Math.floor(Math.log10(largest));
    const digits = Math.min(12, Math.max(0, largestExponent - spacingExponent));
    label = value.toExponential(digits).replace("e+", "e");
  }
  return /^-[0.]+(e.*)?[kM]?$/.test(label) ? label.slice(1) : label;
}

// About `count` ticks covering [low, high] at round values, each {v, label}; with `whole`, never
// between integers (steps).
function linearTicks(low, high, count, whole = false) {
  if (!Number.isFinite(low) || !Number.isFinite(high) || low > high) return [];
  if (low === high) {
    const margin = low === 0 ? 1 : Math.abs(low) * 0.05;
    return linearTicks(low - margin, high + margin, count, whole);
  }
  // Halves first: the width of [-1.7e308, 1.7e308] is not a double.
  let spacing = niceSpacing(((high / 2 - low / 2) / Math.max(count, 1)) * 2);
  if (whole) spacing = Math.max(spacing, 1);
  const first = Math.ceil(low / spacing - 1e-9);
  const last = Math.floor(high / spacing + 1e-9);
  const largest = Math.max(Math.abs(low), Math.abs(high));
  const ticks = [];
  for (let i = first; i <= last && ticks.length < 50; i++) {
    const value = Math.abs(i) < 1e-9 ? 0 : i * spacing;
    ticks.push({ v: value, label: tickLabel(value, spacing, largest) });
  }
  return ticks;
}

// A power of ten as a label: plain digits where they are short, else "1e-6".
function powerLabel(exponent) {
  if (exponent >= -3 && exponent <= 3) return String(Number(Math.pow(10, exponent).toPrecision(1)));
  if (exponent > 3 && exponent <= 6) return exponent === 6 ? "1M" : Math.pow(10, exponent - 3) + "k";
  return "1e" + exponent;
}

// Ticks of a log axis over [low, high] (low > 0): powers of ten, every k-th one when there are
// more than `count`; within less than a decade, 1, 2 and 5 times them.
function logTicks(low, high, count) {
  if (!(low > 0) || !(high >= low)) return [];
  const lowest = Math.floor(Math.log10(low) + 1e-9);
  const highest = Math.ceil(Math.log10(high) - 1e-9);
  const stride = Math.max(1, Math.ceil((highest - lowest + 1) / Math.max(count, 1)));
  const ticks = [];
  // Every stride-th power, counted from 10^0, so that the ticks stay put while the range moves.
  for (let exponent = Math.ceil(lowest / stride) * stride; exponent <= highest; exponent += stride) {
    const value = Math.pow(10, exponent);
    if (value >= low * (1 - 1e-9) && value <= high * (1 + 1e-9)) {
      ticks.push({ v: value, label: powerLabel(exponent) });
    }
  }
  if (ticks.length >= 2) return ticks;
  const fine = [];
  for (let exponent = lowest; exponent <= highest; exponent++) {
    for (const multiple of [1, 2, 5]) {
      const value = multiple * Math.pow(10, exponent);
      if (value >= low * (1 - 1e-9) && value <= high * (1 + 1e-9)) {
        fine.push({ v: value, label: formatValue(value) });
      }
    }
  }
  return fine.length >= 2 ? fine : linearTicks(low, high, count);
}

// Labels for ticks placed on values multiplied by `scale` (see drawingScale): the same digits, the
// exponent shifted back, so that no label needs a number past the largest double.
function unscaledLabels(ticks, scale) {
  if (scale === 1 || ticks.length === 0) return ticks;
  const shift = -Math.round(Math.log10(scale));
  const largest = Math.max(...ticks.map((tick) => Math.abs(tick.v)));
  const spacing = ticks.length > 1 ? Math.abs(ticks[1].v - ticks[0].v) : largest;
  const digits = Math.min(12, Math.max(0, Math.floor(Math.log10(largest)) - Math.floor(Math.log10(spacing))));
  return ticks.map((tick) => {
    if (tick.v === 0) return { v: tick.v, label: "0" };
    const [mantissa, exponent] = tick.v.toExponential(digits).split("e");
    return { v: tick.v, label: mantissa + "e" + (Number(exponent) + shift) };
  });
}

// A power of ten to multiply values by before drawing, so that the drawing's own arithmetic (its
// range, its padding) stays finite near the largest doubles; 1 for every ordinary series.
function drawingScale(largestMagnitude) {
  return largestMagnitude > 1e300 ? 1e-300 : 1;
}

// Elapsed seconds in the unit the range reads best in.
function timeTicks(low, high, count) {
  const span = high - low;
  const [unit, name] = span >= 3 * 3600 ? [3600, " h"] : span >= 180 ? [60, " min"]
    : span >= 3 ? [1, " s"] : [0.001, " ms"];
  return linearTicks(low / unit, high / unit, count).map((tick) =>
    ({ v: tick.v * unit, label: tick.label + name }));
}

// Ticks along x for each kind of x: steps, elapsed seconds, or the fraction of each run.
function xTicks(mode, low, high, count) {
  if (mode === "elapsed") return timeTicks(low, high, count);
  if (mode === "fraction") {
    return linearTicks(low, high, count).map((tick) => ({ v: tick.v, label: formatFraction(tick.v) }));
  }
  return linearTicks(low, high, count, true);
}
