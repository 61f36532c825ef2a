#include "report/series_reduction.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace trovik::report {
namespace {

// The indices kept from one slice's run of points.
struct SliceExtremes {
  size_t first = 0;
  size_t last = 0;
  size_t lowest = 0;
  size_t highest = 0;

  void keep(std::span<const SeriesPoint> points, std::vector<SeriesPoint>& out) const {
    size_t kept[] = {first, lowest, highest, last};
    std::sort(std::begin(kept), std::end(kept));
    const size_t* end = std::unique(std::begin(kept), std::end(kept));
    for (const size_t* index = std::begin(kept); index != end; ++index) {
      out.push_back(points[*index]);
    }
  }
};

}  // namespace

std::vector<SeriesPoint> reduce_series(std::span<const SeriesPoint> points, XAxis axis,
                                       double x_min, double x_max, int columns) {
  std::vector<SeriesPoint> out;
  if (columns < 1) columns = 1;
  const double width = x_max - x_min;
  const double slices_per_unit = width > 0 ? columns / width : 0;
  auto slice_of = [&](const SeriesPoint& point) {
    const double position = std::floor((point_x(point, axis) - x_min) * slices_per_unit);
    // Clamped as a double first: a far-off point must not overflow the conversion.
    return static_cast<int>(std::clamp(position, 0.0, static_cast<double>(columns - 1)));
  };

  bool open = false;
  int open_slice = 0;
  SliceExtremes extremes;
  for (size_t i = 0; i < points.size(); ++i) {
    const double value = points[i].value;
    if (!std::isfinite(value) || !std::isfinite(point_x(points[i], axis))) continue;
    const int slice = slice_of(points[i]);
    if (open && slice == open_slice) {
      extremes.last = i;
      if (value < points[extremes.lowest].value) extremes.lowest = i;
      if (value > points[extremes.highest].value) extremes.highest = i;
      continue;
    }
    if (open) extremes.keep(points, out);
    open = true;
    open_slice = slice;
    extremes = SliceExtremes{i, i, i, i};
  }
  if (open) extremes.keep(points, out);
  return out;
}

std::vector<SeriesPoint> reduce_series(std::span<const SeriesPoint> points, XAxis axis,
                                       int columns) {
  double x_min = std::numeric_limits<double>::infinity();
  double x_max = -std::numeric_limits<double>::infinity();
  for (const SeriesPoint& point : points) {
    const double x = point_x(point, axis);
    if (!std::isfinite(x) || !std::isfinite(point.value)) continue;
    x_min = std::min(x_min, x);
    x_max = std::max(x_max, x);
  }
  if (x_min > x_max) return {};
  return reduce_series(points, axis, x_min, x_max, columns);
}

}  // namespace trovik::report
