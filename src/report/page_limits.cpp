#include "report/page_limits.h"

#include <algorithm>
#include <set>
#include <string_view>

namespace trovik::report {
namespace {

void keep_first_charts(ReportInput& input) {
  std::set<std::string_view> names;
  for (const ReportRun& run : input.runs) {
    for (const RunSeries& series : run.series) names.insert(series.name);
  }
  if (names.size() <= kMaxCharts) return;
  const std::string last_kept(*std::next(names.begin(), kMaxCharts - 1));
  for (ReportRun& run : input.runs) {
    const size_t before = run.series.size();
    std::erase_if(run.series, [&](const RunSeries& series) { return series.name > last_kept; });
    run.series_left_out += before - run.series.size();
  }
}

void coarsen_to_budget(ReportInput& input) {
  size_t series_count = 0;
  for (const ReportRun& run : input.runs) series_count += run.series.size();
  if (series_count == 0) return;
  const size_t budget = std::max(kMinBucketsPerSeries, kPageBuckets / series_count);
  for (ReportRun& run : input.runs) {
    for (RunSeries& series : run.series) {
      while (series.thinned.buckets().size() > budget) {
        series.thinned.coarsen_to(series.thinned.width_log2() + 1);
      }
    }
  }
}

}  // namespace

size_t buckets_per_series(size_t runs, size_t series_per_run) {
  const size_t series = std::max<size_t>(runs, 1) * std::max<size_t>(series_per_run, 1);
  return std::clamp(kPageBuckets / series, kMinBucketsPerSeries, kMaxBucketsPerSeries);
}

void fit_to_page(ReportInput& input) {
  keep_first_charts(input);
  coarsen_to_budget(input);
  for (ReportRun& run : input.runs) {
    if (run.notes.size() <= kMaxNotesPerRun) continue;
    run.notes_left_out += run.notes.size() - kMaxNotesPerRun;
    run.notes.resize(kMaxNotesPerRun);
  }
}

}  // namespace trovik::report
