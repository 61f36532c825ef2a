// The bar of controls over the page: x axis, smoothing, grouping, band, colour, the number that
// stands for a run, and a filter over series names. Each control changes the view state and says
// which parts of the page must follow.

function createControls(view) {
  const { state } = view;
  const nav = document.getElementById("controls");
  const labelled = (text, control) => element("label", { text }, [control]);
  const choice = (label, options) => element("select", { attributes: { "aria-label": label } },
    options.map(([value, text]) => element("option", { text, attributes: { value } })));

  const xChoice = choice("x axis", [["step", "step"], ["elapsed", "elapsed time"], ["fraction", "fraction of run"]]);
  xChoice.addEventListener("change", () => {
    view.chooseX(xChoice.value);
    view.refresh({ chartsOnly: true, x: true });
  });

  const smoothing = element("input", {
    attributes: { type: "range", min: "0", max: "0.99", step: "0.01", value: "0", "aria-label": "smoothing" },
  });
  const smoothingShown = element("output", { text: "0" });
  smoothing.addEventListener("input", () => {
    smoothingShown.textContent = smoothing.value;
    view.update({ alpha: Number(smoothing.value) }, { chartsOnly: true });
  });

  const groupSummary = element("summary");
  const groupChoices = element("div");
  const grouping = element("details", { className: "group-over" }, [groupSummary, groupChoices]);

  const band = choice("band", [["minmax", "min\u2013max"], ["std", "\u00b11 std"]]);
  band.addEventListener("change", () => view.update({ band: band.value }, { chartsOnly: true }));

  const colour = element("select", { attributes: { "aria-label": "colour" } });
  colour.addEventListener("change", () => view.update({ colourBy: colour.value }));

  const number = choice("number", [["last", "last"], ["min", "min"], ["max", "max"]]);
  number.addEventListener("change", () => view.update({ number: number.value }, { numbers: true }));

  const seriesFilter = element("input", {
    attributes: { type: "search", placeholder: "filter series", "aria-label": "Filter series" },
  });
  seriesFilter.addEventListener("input", () => view.update({ seriesFilter: seriesFilter.value }, { chartsOnly: true }));

  nav.append(
    labelled("x", xChoice),
    element("label", { text: "smoothing" }, [smoothing, smoothingShown]),
    grouping,
    labelled("band", band),
    labelled("colour", colour),
    labelled("runs by", number),
    seriesFilter);
  nav.hidden = false;

  function renderGroupChoices(keys) {
    groupSummary.replaceChildren("group over: ", element("b", {
      text: state.groupOver.length > 0 ? state.groupOver.join(", ") : "none",
    }));
    const boxes = keys.map((key) => {
      const box = element("input", { attributes: { type: "checkbox", value: key } });
      box.checked = state.groupOver.includes(key);
      box.addEventListener("change", () => {
        view.chooseGroups(keys.filter((each) => each === key ? box.checked : state.groupOver.includes(each)));
        view.refresh({ groups: true });
      });
      return element("label", {}, [box, isolated(key)]);
    });
    groupChoices.replaceChildren(...(boxes.length > 0 ? boxes : [element("span", { text: "no metadata differs" })]));
    band.disabled = state.groupOver.length === 0;
  }

  function renderColourChoices(keys) {
    const options = [["", "by run"], ...keys.map((key) => [key, "by " + isolatedText(key)])];
    if ([...colour.options].map((option) => option.value).join("\n") !== options.map(([value]) => value).join("\n")) {
      colour.replaceChildren(...options.map(([value, text]) => element("option", { text, attributes: { value } })));
    }
    colour.value = keys.includes(state.colourBy) ? state.colourBy : "";
  }

  function refresh(what) {
    if (what.chartsOnly || what.selection || what.numbers) return;
    xChoice.value = state.x;
    const keys = view.labelKeys();
    renderGroupChoices(keys);
    renderColourChoices(keys);
  }

  return { refresh };
}
