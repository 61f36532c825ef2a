#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace trovik::report {

// What the report shows, independent of how run files are read: report_input.h fills it in, the
// page writer only lays it out. Every text here is shown as text, never as markup.

// Which quantity runs along every chart's horizontal axis.
enum class XAxis {
  kStep,
  kElapsed,
};

struct SeriesPoint {
  int64_t step = 0;
  double elapsed_ms = 0;
  double value = 0;
};

// The position of a point along the chosen axis; elapsed time is shown in seconds.
inline double point_x(const SeriesPoint& point, XAxis axis) {
  return axis == XAxis::kStep ? static_cast<double>(point.step) : point.elapsed_ms / 1000.0;
}

struct RunNote {
  int64_t step = 0;
  double elapsed_ms = 0;
  std::string text;
};

// One numeric series of one run, named by its dotted key path.
struct RunSeries {
  std::string name;
  std::vector<SeriesPoint> points;
};

// A label and its text, in the order they are shown.
using LabelledText = std::pair<std::string, std::string>;

struct ReportRun {
  std::string run_id;
  std::string short_id;  // what the page shows of the id
  std::string name;
  // Host, user, argv, working directory, start, duration, git state: already formatted.
  std::vector<LabelledText> facts;
  // Metadata keys and their values as JSON text.
  std::vector<LabelledText> metadata;
  std::vector<RunSeries> series;
  std::vector<RunNote> notes;
  // What the code diff shows ("uncommitted changes against 1a2b3c4"), and the diff itself; an
  // empty heading means the run has no code to show.
  std::string code_heading;
  std::string code_diff;
};

// The run list as the command's `ls` shows it: one row per run, in the order of `runs`.
struct SummaryTable {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
};

struct ReportInput {
  std::string generated_at;
  XAxis x_axis = XAxis::kStep;
  std::vector<ReportRun> runs;
  SummaryTable summary;
  // The metadata keys whose values differ between the runs (absent differs from any value).
  std::set<std::string, std::less<>> differing_metadata;
};

}  // namespace trovik::report
