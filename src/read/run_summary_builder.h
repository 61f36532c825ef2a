#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "read/record_handler.h"
#include "read/run_summary.h"

namespace trovik::read {

// Builds a RunSummary from a run file's lines, given one at a time. A line that is not a JSON
// object is skipped and counted; nothing a line holds makes the reading fail.
class RunSummaryBuilder {
 public:
  // `starts_file`: the lines begin at the start of the file (false for a later part of it).
  RunSummaryBuilder(std::string path, Detail detail, bool starts_file = true);

  // One complete line, without its line feed.
  void add_line(std::string_view line);
  // The bytes after the last line feed (a torn line when not empty); then the summary is done.
  RunSummary finish(std::string_view unfinished);

 private:
  bool take_run_start(std::string_view line);
  void add_record();
  SeriesSummary& series_for(size_t leaf_position, std::string_view name);

  RunSummary summary_;
  Detail detail_;
  bool first_line_ = true;
  RecordHandler handler_;

  struct TransparentHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  std::unordered_map<std::string, size_t, TransparentHash, std::equal_to<>> series_index_;
  // The series of each leaf position of the last track record: records of a run mostly share
  // their shape, so a leaf's series is found by one comparison instead of a hash lookup.
  std::vector<size_t> leaf_series_;
};

// Appends the summary of the part of a file that follows `into`'s part.
void join_run_parts(RunSummary& into, RunSummary&& later);

// Reads a whole run file; a large one in up to `threads` parts at once. Fails only when the file
// cannot be opened or read.
Result<RunSummary> read_run_file(const std::string& path, Detail detail, unsigned threads = 1);

}  // namespace trovik::read
