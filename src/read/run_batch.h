#pragma once

#include <functional>
#include <string>
#include <vector>

#include "read/run_summary.h"
#include "util/status.h"

namespace trovik::read {

// Takes the summary of paths[index] as soon as it is read. Calls come one at a time, in no
// particular order.
using RunConsumer = std::function<void(size_t index, Result<RunSummary>&& run)>;

// Reads many run files at once, on up to `threads` threads (files are independent, and a listing
// of many runs is bound by parsing), and hands each summary to `consume` once it is read, so that
// no more summaries are held at once than there are threads. With no thread to spare, the calling
// thread reads them all.
void read_run_files(const std::vector<std::string>& paths, Detail detail, unsigned threads,
                    const RunConsumer& consume);

// The same, with the results in the order of `paths`.
std::vector<Result<RunSummary>> read_run_files(const std::vector<std::string>& paths, Detail detail,
                                               unsigned threads);

// The threads worth using here: the processors this process may run on, at most 8.
unsigned reading_threads();

}  // namespace trovik::read
