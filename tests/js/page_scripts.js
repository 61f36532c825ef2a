// Loads the page's script files (src/report/page) into this process, as the page joins them, and
// hands back the functions a test names: the pure parts run here without a browser.
const fs = require("node:fs");
const path = require("node:path");
const vm = require("node:vm");

const PAGE = path.join(__dirname, "..", "..", "src", "report", "page");
const PURE = ["format.js", "ticks.js", "buckets.js", "smoothing.js", "aggregate.js", "labels.js",
  "colours.js", "ranges.js", "store.js", "lines.js"];

function loadPage(names) {
  const code = PURE.map((file) => fs.readFileSync(path.join(PAGE, file), "utf8")).join("\n");
  const body = `"use strict";\n${code}\nreturn { ${names.join(", ")} };`;
  return vm.runInThisContext(`(function () {\n${body}\n})`, { filename: "page.js" })();
}

module.exports = { loadPage };
