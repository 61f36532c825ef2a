#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/value.h"
#include "read/number_text.h"

namespace trovik::read {

// One point of a numeric series. `track_index` is the 0-based position of its record among the
// run's track records (see RunSummary::track_times).
struct SeriesPoint {
  int64_t step = 0;
  double value = 0;
  uint64_t elapsed_ms = 0;
  uint64_t track_index = 0;
  // No record up to this one had an integer step: `step` is track_index.
  bool step_from_index = false;
};

// A numeric series of a run: a number tracked as a whole ("value") or one numeric leaf of tracked
// objects under its dotted key path ("val.loss").
struct SeriesSummary {
  std::string name;
  uint64_t count = 0;
  double first = 0;
  double last = 0;
  double min = 0;
  double max = 0;
  int64_t first_step = 0;
  int64_t last_step = 0;
  int64_t min_step = 0;  // the first step at which min was reached
  int64_t max_step = 0;
  // first, last, min and max as the file writes them (`0`, `-0.0`, `1e-320`, every digit of a
  // big integer): what is printed as a recorded value. The doubles above are for arithmetic.
  NumberText first_token;
  NumberText last_token;
  NumberText min_token;
  NumberText max_token;
  std::vector<SeriesPoint> points;  // in file order; kPoints and kFull only
  // kFull only: each point's number as written, one after another; point i's ends at
  // point_token_ends[i] and begins where point i - 1's ends.
  std::string point_tokens;
  std::vector<uint64_t> point_token_ends;
  // Which of the steps above are track indexes (bits: 1 first, 2 last, 4 min, 8 max): a file read
  // in parts shifts them by the track records of the parts before.
  unsigned index_steps = 0;

  // Point `index`'s number as the file writes it; kFull only.
  std::string_view point_token(size_t index) const {
    const uint64_t begin = index == 0 ? 0 : point_token_ends[index - 1];
    return std::string_view(point_tokens).substr(begin, point_token_ends[index] - begin);
  }
};

struct Note {
  uint64_t elapsed_ms = 0;
  std::string text;
  int64_t step = 0;              // the step of the record that carries the note, as for a point
  bool step_from_index = false;  // as SeriesPoint::step_from_index
};

// How much of a run a reading keeps. A summary's size depends on the number of series, never on
// the number of records; kPoints also keeps every point and note, kFull the created_at of every
// track record and the text of every point's number as well.
enum class Detail { kSummary, kPoints, kFull };

// What reading one run file found.
struct RunSummary {
  std::string path;
  std::string run_id;  // of the run_start record, else the file name without ".jsonl"
  std::string name;    // experiment_name of the first record that has one
  // The run_start record's `value` and `created_at`, when the first line is a run_start record.
  std::optional<json::Value> run_start;
  std::string created_at;
  std::optional<uint64_t> elapsed_ms;  // of the last complete record
  uint64_t records = 0;                // complete records, run_start included
  uint64_t bad_lines = 0;              // complete lines that are not a JSON object, skipped
  bool torn = false;                   // the file ends in an unfinished line, skipped
  uint64_t track_records = 0;
  // How the program said the run ended: the value of its first run_end record that names an
  // ending (see recorded_ending), and that record's elapsed_ms, the run's duration. Records
  // appended after it (by copies of the run object in other processes) are counted, not dropped.
  std::optional<json::Value> run_end;
  std::optional<uint64_t> run_end_elapsed_ms;
  uint64_t records_after_end = 0;
  // The value of the last environment record: what the run ran on.
  std::optional<json::Value> environment;
  // The integer step of the latest track record that had one: a later record without a step is
  // taken to be at that step.
  std::optional<int64_t> latest_step;
  std::vector<SeriesSummary> series;     // in the order of their first point
  std::vector<Note> notes;               // full reading only
  std::vector<std::string> track_times;  // created_at of each track record; kFull only

  const SeriesSummary* find_series(std::string_view series_name) const;
  // The run_start value's member at a path of keys, or null when any step is missing.
  const json::Value* run_start_member(std::initializer_list<std::string_view> keys) const;
};

}  // namespace trovik::read
