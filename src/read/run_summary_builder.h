#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "read/record_handler.h"
#include "read/run_file_reading.h"
#include "read/run_summary.h"
#include "read/run_summary_state.h"

namespace trovik::read {

// Builds a RunSummary from a run file's lines, given one at a time. A line that is not a JSON
// object is skipped and counted; nothing a line holds makes the reading fail. The summary can be
// looked at between lines: it is always what a fresh reading of the lines so far gives.
class RunSummaryBuilder {
 public:
  // `starts_file`: the lines begin at the start of the file (false for a later part of it).
  RunSummaryBuilder(std::string path, Detail detail, bool starts_file = true);
  // Goes on from a state taken from a builder earlier.
  explicit RunSummaryBuilder(RunSummaryState state);

  // One complete line, without its line feed.
  void add_line(std::string_view line);
  // The bytes after the last line feed: the summary is torn when they are not empty.
  void set_unfinished(std::string_view unfinished) { state_.summary.torn = !unfinished.empty(); }

  const RunSummary& summary() const { return state_.summary; }
  // The complete state, to copy or store.
  const RunSummaryState& state() const { return state_; }

  // Gives the summary away, for a reading that is over; the builder is of no use afterwards.
  RunSummary finish(std::string_view unfinished);

 private:
  bool take_run_start(std::string_view line);
  void add_record(std::string_view line);
  // Keeps the first run_end record that names an ending, and the last environment record.
  void take_end_or_environment(std::string_view line);
  SeriesSummary& series_for(size_t leaf_position, std::string_view name);

  RunSummaryState state_;
  RecordHandler handler_;

  // What follows is found again from state_: a builder made from a stored state rebuilds it.
  struct TransparentHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  std::unordered_map<std::string, size_t, TransparentHash, std::equal_to<>> series_index_;
  // The series of each leaf position of the last track record: records of a run mostly share
  // their shape, so a leaf's series is found by one comparison instead of a hash lookup.
  std::vector<size_t> leaf_series_;
};

}  // namespace trovik::read
