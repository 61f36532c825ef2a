#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "read/series_thinning.h"

namespace trovik::report {

// What the report shows, independent of how run files are read: report_input.h fills it in, the
// page writer only lays it out. Every text here is shown as text, never as markup.

// Which quantity runs along the charts' horizontal axis when the page opens.
enum class XAxis {
  kStep,
  kElapsed,
};

struct RunNote {
  int64_t step = 0;
  double elapsed_ms = 0;
  std::string text;
};

// One numeric series of one run, named by its dotted key path: its figures over all points, and
// its points thinned for drawing.
struct RunSeries {
  std::string name;
  uint64_t count = 0;
  double first = 0;
  double last = 0;
  double min = 0;
  double max = 0;
  read::SeriesThinning thinned;
};

// A label and its text, in the order they are shown.
using LabelledText = std::pair<std::string, std::string>;

struct ReportRun {
  std::string run_id;
  std::string short_id;  // what the page shows of the id
  std::string name;
  // How the run ended or whether it still runs ("completed", "failed", "running", ...); empty
  // while unknown.
  std::string status;
  // Host, user, argv, working directory, start, duration, git state: already formatted.
  std::vector<LabelledText> facts;
  // The traceback of a run that ended by an exception, as recorded; empty when there is none.
  std::string traceback;
  // Metadata keys and their values as JSON text.
  std::vector<LabelledText> metadata;
  std::vector<RunSeries> series;  // in ascending order of name
  // Series the run has beyond those in `series`, left out to keep the page small.
  size_t series_left_out = 0;
  std::vector<RunNote> notes;
  size_t notes_left_out = 0;
  // What the code diff shows ("uncommitted changes against 1a2b3c4"), and the diff itself; an
  // empty heading means the run has no code to show.
  std::string code_heading;
  std::string code_diff;
};

// The run list as the command's `ls` shows it: one row per run, in the order of `runs`.
struct SummaryTable {
  // The leading columns every run has (id, name, start, ...); the rest are metadata keys and
  // series whose cells differ between the runs.
  size_t fixed_columns = 0;
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
