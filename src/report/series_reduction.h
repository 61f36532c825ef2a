#pragma once

#include <span>
#include <vector>

#include "report/report_model.h"

namespace trovik::report {

// Thins a series for drawing `columns` pixels wide without losing its shape: [x_min, x_max] is cut
// into `columns` equal slices and, for each run of consecutive points falling into one slice, the
// first, last, lowest and highest point are kept, in their original order. Spikes and extremes
// therefore survive, unlike with sampling. Points whose value is not finite are dropped, as no
// chart can place them. Points outside the range fall into the nearest edge slice.
std::vector<SeriesPoint> reduce_series(std::span<const SeriesPoint> points, XAxis axis,
                                       double x_min, double x_max, int columns);

// The same over the points' own range along `axis`.
std::vector<SeriesPoint> reduce_series(std::span<const SeriesPoint> points, XAxis axis,
                                       int columns);

}  // namespace trovik::report
