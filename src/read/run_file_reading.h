#pragma once

#include <string>

#include "read/run_summary.h"
#include "util/status.h"

namespace trovik::read {

// Appends the summary of the part of a file that follows `into`'s part. Series are matched by
// name, so joining costs time in proportion to the series and points, whatever their number.
void join_run_parts(RunSummary& into, RunSummary&& later);

// Reads a whole run file; a large one in up to `threads` parts at once (on the calling thread
// alone when no thread can be started). Fails only when the file cannot be opened or read.
Result<RunSummary> read_run_file(const std::string& path, Detail detail, unsigned threads = 1);

}  // namespace trovik::read
