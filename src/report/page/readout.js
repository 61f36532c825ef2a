// The hover read-out: every line's value at the pointer's x, largest first, the line nearest the
// pointer in bold, a group's run count beside its value, and the notes made close to that x.

function readoutRows(lines, x, margin) {
  const rows = [];
  for (const line of lines) {
    const at = nearestIndex(line.main, x, margin);
    if (at < 0 || line.main[at][1] === null) continue;
    rows.push({ line, value: line.main[at][1], n: line.counts ? line.counts[at] : null });
  }
  return rows.sort((p, q) => q.value - p.value);
}

function createReadout(node) {
  function place(event) {
    const room = window.innerWidth - event.clientX > node.offsetWidth + 24;
    node.style.left = (room ? event.clientX + 14 : event.clientX - node.offsetWidth - 14) + "px";
    const below = window.innerHeight - event.clientY > node.offsetHeight + 24;
    node.style.top = (below ? event.clientY + 14 : Math.max(4, event.clientY - node.offsetHeight - 14)) + "px";
  }

  return {
    show(event, head, rows, nearestLine, notes) {
      node.replaceChildren(element("div", { className: "head", text: head }));
      for (const row of rows) {
        const line = row.line;
        const entry = element("div", { className: line === nearestLine ? "nearest" : "" }, [
          swatch(line.colour, line.dashed),
          isolated(line.label, "label"),
        ]);
        if (row.n !== null) entry.append(element("span", { className: "n", text: "n=" + row.n }));
        entry.append(element("span", { className: "value", text: formatValue(row.value) }));
        entry.dataset.line = line.id;
        node.append(entry);
      }
      for (const note of notes) {
        node.append(element("div", { className: "note" }, [
          swatch(note.colour, false),
          isolated(note.text),
        ]));
      }
      node.hidden = false;
      place(event);
    },
    hide() {
      node.hidden = true;
    },
  };
}
