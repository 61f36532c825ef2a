#pragma once

#include "read/run_summary.h"

namespace trovik::read {

// Everything a summary being built depends on, as plain data: it can be copied, stored, and
// handed back to a RunSummaryBuilder, which then goes on as if it had never stopped. Its size
// depends on the number of series (and of points and notes at the details that keep them),
// never on the number of records.
struct RunSummaryState {
  RunSummary summary;
  Detail detail = Detail::kSummary;
  // The next line is the file's first (a run_start record is looked for there).
  bool next_line_is_first = true;
};

}  // namespace trovik::read
