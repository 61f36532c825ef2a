// What the page hands the chart library (dygraphs) and how: each chart's lines as the library's
// series, its options, a data handler that passes the page's points straight through, and the
// drawing the page does itself (bands, note marks). Text from runs never reaches the library: it
// only ever sees labels the page makes up ("l0", "f0").

// The page draws its own legend and read-out; the library's legend would measure its box (a
// layout of the whole page) on every draw of every chart.
Dygraph.PLUGINS = Dygraph.PLUGINS.filter((plugin) => plugin !== Dygraph.Plugins.Legend);
const BAND_ALPHA = 0.2;

// The chart library asks its data handler for each series; this one hands over the points the
// page computed, instead of a table with a row for every x of every line (which, for runs whose x
// differ, grows with the product of lines and points).
function seriesHandler(columnsOf, Base) {
  function Handler() {}
  Handler.prototype = new Base();
  Handler.prototype.extractSeries = (rawData, index) => columnsOf()[index - 1];
  return Handler;
}

// A group's band as one filled shape per unbroken stretch of points. The library's own band
// drawing makes a shape of every segment, which took most of a redraw with a few groups.
function bandPlotter(e) {
  const context = e.drawingContext;
  const area = e.plotArea;
  const stretches = [];
  let stretch = [];
  for (const point of e.points) {
    if (Number.isNaN(point.y_top) || Number.isNaN(point.y_bottom) || point.yval === null) {
      if (stretch.length > 0) stretches.push(stretch);
      stretch = [];
      continue;
    }
    stretch.push(point);
  }
  if (stretch.length > 0) stretches.push(stretch);
  context.save();
  context.fillStyle = e.color;
  context.globalAlpha = BAND_ALPHA;
  context.beginPath();
  for (const points of stretches) {
    points.forEach((point, i) => {
      const y = area.y + area.h * point.y_top;
      if (i === 0) context.moveTo(point.canvasx, y);
      else context.lineTo(point.canvasx, y);
    });
    for (let i = points.length - 1; i >= 0; i--) {
      context.lineTo(points[i].canvasx, area.y + area.h * points[i].y_bottom);
    }
    context.closePath();
  }
  context.fill();
  context.restore();
}

function bandAndLinePlotter(e) {
  bandPlotter(e);
  Dygraph.Plotters.linePlotter(e);
}

// One line's points as the library takes them: scaled, gaps where a log axis cannot go, and with
// a low-high pair per point when the chart draws bands.
function libraryColumn(points, band, scale, log, bars) {
  const out = new Array(points.length);
  for (let i = 0; i < points.length; i++) {
    let y = points[i][1] * scale;
    if (log && !(y > 0)) y = null;
    if (!bars) {
      out[i] = [points[i][0], y];
      continue;
    }
    let low = band ? band[i][0] * scale : y;
    let high = band ? band[i][1] * scale : y;
    if (log && !(low > 0)) low = y;
    if (log && !(high > 0)) high = y;
    out[i] = [points[i][0], y, [low, high]];
  }
  return out;
}


// The library's form of a chart's lines: a series per line (and one for its raw line, kept
// faintly under a smoothed one), their colours and widths, and which line each series draws.
// Values are multiplied by `scale` (see drawingScale) and left out where a log axis cannot go.
function libraryData(lines, log, bars, background) {
  let largest = 0;
  let low = Infinity;
  let high = -Infinity;
  for (const line of lines) {
    for (const points of [line.main, line.faint ?? []]) {
      if (points.length === 0) continue;
      low = Math.min(low, points[0][0]);
      high = Math.max(high, points[points.length - 1][0]);
      for (const point of points) largest = Math.max(largest, Math.abs(point[1]));
    }
    for (const [bandLow, bandHigh] of line.band ?? []) {
      largest = Math.max(largest, Math.abs(bandLow), Math.abs(bandHigh));
    }
  }
  const data = { scale: drawingScale(largest), labels: ["x"], colors: [], series: {}, columns: [], lineOf: {} };
  const width = lines.length > 20 ? 1.1 : 1.6;
  lines.forEach((line, i) => {
    const add = (label, colour, points, band, strokeWidth, dashed) => {
      data.labels.push(label);
      data.colors.push(colour);
      data.columns.push(libraryColumn(points, band, data.scale, log, bars));
      // A line of one point draws nothing: it gets a dot.
      data.series[label] = {
        strokeWidth, strokePattern: dashed ? [6, 3] : null, drawPoints: points.length === 1, pointSize: 3,
      };
      if (band) data.series[label].plotter = bandAndLinePlotter;
      data.lineOf[label] = line;
    };
    if (line.faint) add("f" + i, faintColour(line.colour, background), line.faint, null, 1, false);
    add("l" + i, line.colour, line.main, line.band, width, line.dashed);
  });
  // The library reads the x range off its table's first and last rows, and wants one column per
  // series; one x for every point (a single step) still needs a range to place it in.
  const margin = low === high ? Math.max(1, Math.abs(low) * 0.05) : 0;
  data.skeleton = [low - margin, high + margin].map((x) => [x, ...data.columns.map(() => null)]);
  return data;
}

// The library's options for a chart of `data`; `chart` brings the page's side: the x axis, the
// colours, the handlers, and what to do on hover, click, zoom and double-click.
function libraryOptions(data, log, bars, chart) {
  const count = (pixels, per) => Math.max(2, Math.floor(pixels / per));
  return {
    labels: data.labels,
    colors: data.colors,
    series: data.series,
    dataHandler: bars ? chart.handlers.bars : chart.handlers.plain,
    customBars: bars,
    plotter: [Dygraph.Plotters.linePlotter],
    logscale: log,
    legend: "never",
    dateWindow: chart.xWindow,
    animatedZooms: false,
    xRangePad: 0,
    yRangePad: 6,
    rightGap: 10,
    gridLineColor: chart.colours.grid,
    axisLineColor: chart.colours.rule,
    highlightCircleSize: 0,
    highlightSeriesOpts: { strokeWidth: 2.6 },
    highlightSeriesBackgroundAlpha: 0.55,
    highlightSeriesBackgroundColor: chart.colours.background,
    axes: {
      x: {
        ticker: (low, high, pixels) => xTicks(chart.x, low, high, count(pixels, 80)),
        axisLabelWidth: 64,
      },
      y: {
        ticker: (low, high, pixels) => unscaledLabels(log ? logTicks(low, high, count(pixels, 28))
          : linearTicks(low, high, count(pixels, 40)), data.scale),
        axisLabelWidth: 60,
      },
    },
    interactionModel: Object.assign({}, Dygraph.defaultInteractionModel, { dblclick: chart.onDoubleClick }),
    highlightCallback: (event, x, points, row, seriesName) => chart.onHover(event, data.lineOf[seriesName]),
    unhighlightCallback: chart.onLeave,
    clickCallback: (event) => chart.onClick(event),
    zoomCallback: (low, high) => chart.onZoom([low, high]),
    underlayCallback: (context, area, graph) => drawNoteMarks(context, area, chart.noteMarks(graph)),
  };
}

// Notes as small marks in their line's colour on the x axis.
function drawNoteMarks(context, area, marks) {
  context.save();
  const bottom = area.y + area.h;
  for (const mark of marks) {
    if (mark.at < area.x || mark.at > area.x + area.w) continue;
    context.fillStyle = mark.colour;
    context.beginPath();
    context.moveTo(mark.at, bottom - 7);
    context.lineTo(mark.at - 4, bottom);
    context.lineTo(mark.at + 4, bottom);
    context.closePath();
    context.fill();
  }
  context.restore();
}
