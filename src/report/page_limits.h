#pragma once

#include <cstddef>

#include "report/report_model.h"

namespace trovik::report {

// What one page holds at most, so that a run with a hundred thousand keys or a million notes still
// gives a page a browser opens: charts (series names), thinned points (buckets) over all runs,
// notes per run. The page says what it left out.
inline constexpr size_t kMaxCharts = 1000;
inline constexpr size_t kPageBuckets = 100'000;
inline constexpr size_t kMinBucketsPerSeries = 32;
inline constexpr size_t kMaxBucketsPerSeries = read::SeriesThinning::kDefaultBuckets;
inline constexpr size_t kMaxNotesPerRun = 500;

// How many buckets each series may keep when `runs` runs of `series_per_run` series share a page.
size_t buckets_per_series(size_t runs, size_t series_per_run);

// Brings `input` within the limits: keeps the first kMaxCharts series names over all runs, coarsens
// the longest series until all buckets fit kPageBuckets (each keeping at least
// kMinBucketsPerSeries), keeps the first kMaxNotesPerRun notes of each run. What goes is counted
// in each run's `series_left_out` and `notes_left_out`.
void fit_to_page(ReportInput& input);

}  // namespace trovik::report
