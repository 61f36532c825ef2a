// The page starts here: the runs come in through the store, from the document embedded in the
// page; every part registers with the view and follows its changes. A live view adds its own
// module after this one and calls trovikPage.store.apply(changes) with what it fetched (see
// store.js for the shape); the page updates in place and keeps the reader's choices.

const trovikPage = (() => {
  const data = document.getElementById("trovik-data");
  const store = createStore();
  const view = createView(store);
  view.colours = pageColours();
  const readout = createReadout(document.getElementById("readout"));
  view.register(createControls(view));
  view.register(createTable(view));
  view.register(createHyper(view));
  view.register(createCharts(view, readout));
  store.subscribe((summary) => {
    view.applyDefaults();
    view.refresh({ data: summary });
  });
  store.apply(JSON.parse(data.textContent));
  // The same path for the browser tests, which play a live view's changes; no other script runs
  // on the page to call it.
  Object.defineProperty(data, "apply", { value: (changes) => store.apply(changes) });
  // The live page's script (live.js), a script of its own, reaches the page here.
  Object.defineProperty(data, "page", { value: { store, view } });
  // Colours follow the reader's preference, and paper, whose colours are set for print.
  const recolour = (what) => {
    view.colours = pageColours();
    view.refresh(what);
  };
  matchMedia("(prefers-color-scheme: dark)").addEventListener("change", () => recolour({}));
  window.addEventListener("beforeprint", () => recolour({ print: true }));
  window.addEventListener("afterprint", () => recolour({}));
  return { store, view };
})();
