#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "report/report_model.h"

namespace trovik::report {

// One run's points in a chart; `run_index` picks its colour (and, past the palette, its dashes).
struct ChartLine {
  int run_index = 0;
  std::span<const SeriesPoint> points;
};

// A note marked on the horizontal axis, at `x` along the chart's axis.
struct ChartNote {
  int run_index = 0;
  double x = 0;
  std::string_view label;
};

struct ChartSpec {
  std::string_view series_name;
  XAxis axis = XAxis::kStep;
  std::vector<ChartLine> lines;
  std::vector<ChartNote> notes;
};

// The width of the plotting area in drawing units, which is also the number of slices each line is
// reduced to: one per pixel column at the chart's natural size.
inline constexpr int kPlotColumns = 646;

// Appends the CSS classes that colour a run's line, dot and swatch alike (" c3", " c3 dashed").
void append_colour_classes(std::string& out, int run_index);

// Appends one chart as inline SVG: a polyline per line (plus a dot where a line has one point),
// ticked axes, notes as marks under the plot. The axis mapping is left in data- attributes for the
// page's hover read-out.
void append_chart_svg(std::string& out, const ChartSpec& chart);

}  // namespace trovik::report
