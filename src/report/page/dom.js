// The few ways the page touches the document. Text from runs enters only through textContent (or
// attributes set one by one), never as markup.

function element(tag, options = {}, children = []) {
  const node = document.createElement(tag);
  if (options.className) node.className = options.className;
  if (options.text !== undefined) node.textContent = options.text;
  for (const [name, value] of Object.entries(options.attributes ?? {})) node.setAttribute(name, value);
  for (const child of children) node.append(child);
  return node;
}

// Text from a run, isolated from what stands beside it.
function isolated(text, className) {
  return element("bdi", { className, text });
}

// The same where no element can hold it (an option, an SVG text): between the Unicode isolate
// marks FSI and PDI.
function isolatedText(text) {
  return "\u2068" + text + "\u2069";
}

function svgElement(tag, attributes = {}) {
  const node = document.createElementNS("http://www.w3.org/2000/svg", tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  return node;
}

function swatch(colour, dashed) {
  const node = element("span", { className: "swatch" });
  node.style.background = dashed
    ? `repeating-linear-gradient(90deg, ${colour} 0 4px, transparent 4px 6px)`
    : colour;
  return node;
}

// The page's colours as its style sheet sets them now (light, dark or print).
function pageColours() {
  const style = getComputedStyle(document.documentElement);
  const read = (name) => style.getPropertyValue(name).trim();
  const colours = [];
  for (let i = 0; i < 10; i++) colours.push(read("--c" + i));
  return {
    colours,
    missing: read("--muted"),
    background: read("--bg"),
    foreground: read("--fg"),
    muted: read("--muted"),
    grid: read("--grid"),
    rule: read("--rule"),
  };
}

// Blends a colour into the background: how the raw line shows faintly under a smoothed one.
const faintColours = new Map();
let colourProbe = null;

function faintColour(colour, background, share = 0.3) {
  const key = colour + "|" + background;
  if (!faintColours.has(key)) faintColours.set(key, blend(colour, background, share));
  return faintColours.get(key);
}

function blend(colour, background, share) {
  const parse = (text) => {
    colourProbe ??= document.createElement("canvas").getContext("2d");
    const probe = colourProbe;
    probe.fillStyle = text;
    const value = probe.fillStyle;
    if (value.startsWith("#")) return [1, 3, 5].map((i) => parseInt(value.slice(i, i + 2), 16));
    return value.match(/[\d.]+/g).slice(0, 3).map(Number);
  };
  const [r, g, b] = parse(colour);
  const [br, bg, bb] = parse(background);
  const mix = (c, base) => Math.round(base + (c - base) * share);
  return `rgb(${mix(r, br)}, ${mix(g, bg)}, ${mix(b, bb)})`;
}
