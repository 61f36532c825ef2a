#include "report/chart_svg.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "report/axis_scale.h"
#include "report/html_text.h"
#include "report/series_reduction.h"

namespace trovik::report {
namespace {

// The drawing, in viewBox units; the page scales it to the width it has.
constexpr int kWidth = 720;
constexpr int kHeight = 260;
constexpr int kLeft = 60;
constexpr int kTop = 12;
constexpr int kPlotHeight = 206;
constexpr int kPlotBottom = kTop + kPlotHeight;
static_assert(kLeft + kPlotColumns + 14 == kWidth);

// Colours are CSS classes, so that the page can switch them for a dark background.
constexpr int kPaletteSize = 10;

void append_number(std::string& out, long value) {
  char digits[24];
  const auto result = std::to_chars(std::begin(digits), std::end(digits), value);
  out.append(digits, result.ptr);
}

// A coordinate to a tenth of a unit: precise enough on any screen, and short.
void append_coordinate(std::string& out, double value) {
  const long tenths = std::lround(value * 10);
  if (tenths < 0) out += '-';
  append_number(out, std::labs(tenths) / 10);
  if (tenths % 10 != 0) {
    out += '.';
    out += static_cast<char>('0' + std::labs(tenths) % 10);
  }
}

struct Extent {
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  void include(double value) {
    low = std::min(low, value);
    high = std::max(high, value);
  }
};

class ChartDrawing {
 public:
  ChartDrawing(std::string& out, const ChartSpec& chart, const AxisScale& x, const AxisScale& y)
      : out_(out), chart_(chart), x_(x), y_(y) {}

  double x_position(double value) const { return kLeft + x_.fraction(value) * kPlotColumns; }
  double y_position(double value) const { return kPlotBottom - y_.fraction(value) * kPlotHeight; }

  void open() {
    out_ += "<svg class=\"chart\" viewBox=\"0 0 720 260\" role=\"img\" aria-label=\"";
    append_escaped(out_, chart_.series_name);
    out_ += "\" data-left=\"60\" data-width=\"646\" data-top=\"12\" data-height=\"206\"";
    append_attribute("data-x0", x_.low());
    append_attribute("data-x1", x_.high());
    append_attribute("data-y0", y_.low());
    append_attribute("data-y1", y_.high());
    out_ += ">";
  }

  void grid_and_ticks() {
    out_ += "<g class=\"grid\">";
    for (double tick : y_.ticks()) horizontal_rule(y_position(tick));
    for (double tick : x_.ticks()) vertical_rule(x_position(tick));
    out_ += "</g><g class=\"ticks\">";
    for (double tick : y_.ticks()) {
      tick_label(kLeft - 6, y_position(tick) + 4.5, "end", y_.label(tick));
    }
    for (double tick : x_.ticks()) {
      // The rightmost label would run off the drawing if centred on its tick.
      const double x = x_position(tick);
      tick_label(x, kPlotBottom + 22, x > kWidth - 40 ? "end" : "middle", x_.label(tick));
    }
    out_ += "</g>";
    out_ += chart_.axis == XAxis::kStep
                ? "<text class=\"axis-title\" x=\"706\" y=\"256\">step</text>"
                : "<text class=\"axis-title\" x=\"706\" y=\"256\">"
                  "elapsed (s)</text>";
  }

  void notes() {
    if (chart_.notes.empty()) return;
    out_ += "<g class=\"notes\">";
    for (const ChartNote& note : chart_.notes) {
      if (note.x < x_.low() || note.x > x_.high()) continue;
      out_ += "<path class=\"note";
      append_colour_classes(out_, note.run_index);
      out_ += "\" d=\"M";
      append_coordinate(out_, x_position(note.x));
      out_ += " 219l-4 7h8z\"><title>";
      append_escaped(out_, note.label);
      out_ += "</title></path>";
    }
    out_ += "</g>";
  }

  void line(const ChartLine& line) {
    const std::vector<SeriesPoint> kept =
        reduce_series(line.points, chart_.axis, x_.low(), x_.high(), kPlotColumns);
    out_ += "<polyline class=\"line";
    append_colour_classes(out_, line.run_index);
    out_ += "\" data-run=\"";
    append_number(out_, line.run_index);
    out_ += "\" points=\"";
    for (size_t i = 0; i < kept.size(); ++i) {
      if (i > 0) out_ += ' ';
      append_coordinate(out_, x_position(point_x(kept[i], chart_.axis)));
      out_ += ',';
      append_coordinate(out_, y_position(kept[i].value));
    }
    out_ += "\"/>";
    // A polyline of one point draws nothing.
    if (kept.size() == 1) {
      out_ += "<circle class=\"dot";
      append_colour_classes(out_, line.run_index);
      out_ += "\" r=\"3.5\" cx=\"";
      append_coordinate(out_, x_position(point_x(kept[0], chart_.axis)));
      out_ += "\" cy=\"";
      append_coordinate(out_, y_position(kept[0].value));
      out_ += "\"/>";
    }
  }

  void close() {
    out_ += "<line class=\"cursor\" x1=\"0\" x2=\"0\" y1=\"12\" y2=\"218\" visibility=\"hidden\"/>";
    out_ += "</svg>";
  }

 private:
  void append_attribute(const char* name, double value) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%.17g", value);
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    out_ += text;
    out_ += '"';
  }

  void horizontal_rule(double y) {
    out_ += "<path d=\"M60 ";
    append_coordinate(out_, y);
    out_ += "h646\"/>";
  }

  void vertical_rule(double x) {
    out_ += "<path d=\"M";
    append_coordinate(out_, x);
    out_ += " 12v206\"/>";
  }

  void tick_label(double x, double y, const char* anchor, const std::string& text) {
    out_ += "<text x=\"";
    append_coordinate(out_, x);
    out_ += "\" y=\"";
    append_coordinate(out_, y);
    out_ += "\" text-anchor=\"";
    out_ += anchor;
    out_ += "\">";
    append_escaped(out_, text);
    out_ += "</text>";
  }

  std::string& out_;
  const ChartSpec& chart_;
  const AxisScale& x_;
  const AxisScale& y_;
};

}  // namespace

void append_colour_classes(std::string& out, int run_index) {
  out += " c";
  append_number(out, run_index % kPaletteSize);
  if (run_index >= kPaletteSize) out += " dashed";
}

void append_chart_svg(std::string& out, const ChartSpec& chart) {
  Extent x_extent;
  Extent y_extent;
  for (const ChartLine& line : chart.lines) {
    for (const SeriesPoint& point : line.points) {
      const double x = point_x(point, chart.axis);
      if (!std::isfinite(x) || !std::isfinite(point.value)) continue;
      x_extent.include(x);
      y_extent.include(point.value);
    }
  }
  const AxisScale x(x_extent.low, x_extent.high, 6, chart.axis == XAxis::kStep);
  const AxisScale y(y_extent.low, y_extent.high, 5);

  ChartDrawing drawing(out, chart, x, y);
  drawing.open();
  drawing.grid_and_ticks();
  drawing.notes();
  for (const ChartLine& line : chart.lines) drawing.line(line);
  drawing.close();
}

}  // namespace trovik::report
