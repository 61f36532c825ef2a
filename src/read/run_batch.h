#pragma once

#include <string>
#include <vector>

#include "read/run_summary.h"
#include "util/status.h"

namespace trovik::read {

// Reads many run files at once, on up to `threads` threads (files are independent, and a listing
// of many runs is bound by parsing). The results are in the order of `paths`.
std::vector<Result<RunSummary>> read_run_files(const std::vector<std::string>& paths, Detail detail,
                                               unsigned threads);

// The threads worth using here: the processors this process may run on, at most 8.
unsigned reading_threads();

}  // namespace trovik::read
