// Numbers and times as the page shows them. Pure functions.

// As the command prints numbers: six significant digits, exponent form outside 1e-4 .. 1e6.
function formatNumber(value) {
  if (value === null || value === undefined || Number.isNaN(value)) return "";
  if (value === 0) return "0";
  if (!Number.isFinite(value)) return value > 0 ? "inf" : "-inf";
  const [mantissa, exponentText] = value.toExponential(5).split("e");
  const exponent = Number(exponentText);
  if (exponent < -4 || exponent >= 6) {
    const digits = mantissa.includes(".") ? mantissa.replace(/\.?0+$/, "") : mantissa;
    return digits + "e" + (exponent < 0 ? "-" : "+") + String(Math.abs(exponent)).padStart(2, "0");
  }
  return String(Number(value.toFixed(Math.max(0, 5 - exponent))));
}

// A read-out value: four significant digits are enough to compare lines by eye.
function formatValue(value) {
  if (value === null || value === undefined || Number.isNaN(value)) return "\u2013";
  const magnitude = Math.abs(value);
  if (magnitude !== 0 && (magnitude >= 1e6 || magnitude < 1e-3)) {
    return value.toExponential(3).replace(/\.?0+e/, "e");
  }
  return String(Number(value.toPrecision(4)));
}

// Whole numbers of steps, thousands and millions shortened: long runs count steps in millions.
function formatSteps(value) {
  const magnitude = Math.abs(value);
  if (magnitude >= 1e15) return value.toExponential(2).replace(/\.?0+e/, "e");
  if (magnitude >= 1e6) return String(Number((value / 1e6).toPrecision(4))) + "M";
  if (magnitude >= 1e4) return String(Number((value / 1e3).toPrecision(4))) + "k";
  return String(Number(value.toPrecision(6)));
}

// Seconds as a reader takes them in at a glance: "850 ms", "12.3 s", "4 min 05 s", "2 h 03 min".
function formatSeconds(seconds) {
  if (!Number.isFinite(seconds)) return "?";
  const sign = seconds < 0 ? "-" : "";
  const s = Math.abs(seconds);
  if (s < 1) return sign + Math.round(s * 1000) + " ms";
  if (s < 60) return sign + String(Number(s.toPrecision(3))) + " s";
  if (s < 3600) {
    const whole = Math.floor(s);
    return sign + Math.floor(whole / 60) + " min " + String(whole % 60).padStart(2, "0") + " s";
  }
  const minutes = Math.floor(s / 60);
  return sign + Math.floor(minutes / 60) + " h " + String(minutes % 60).padStart(2, "0") + " min";
}

function formatFraction(fraction) {
  return String(Number((fraction * 100).toPrecision(3))) + "%";
}

// A position along the x axis in words, for the read-out's first line.
function describeX(mode, x) {
  if (mode === "elapsed") return formatSeconds(x);
  if (mode === "fraction") return formatFraction(x) + " of the run";
  return "step " + formatSteps(Math.round(x));
}
