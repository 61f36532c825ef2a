#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "read/process_probe.h"
#include "read/run_catalog.h"
#include "read/run_summary.h"
#include "read/run_table.h"
#include "report/report_model.h"
#include "util/status.h"

namespace trovik::report {

// Builds a page's input from runs read with their points, one run at a time: each run's series are
// thinned as it is added, so only one run's full points are held at once. The run table, the facts
// and the code of every run come from the reading library, as `ls`, `show` and `code` show them.
class ReportInputBuilder {
 public:
  // `expected_runs`: how many runs the page will hold, which sets each series' share of the
  // page's points.
  ReportInputBuilder(XAxis x_axis, int64_t now_ns, const read::ProcessProbe& probe,
                     size_t expected_runs);

  // `run` read with Detail::kPoints; `fallback_start_ns` as for RunTable::add; `repository` where
  // its code is looked up (read::RepositoryFinder).
  void add(const read::RunSummary& run, int64_t fallback_start_ns, const std::string& repository);

  // The input, with the run table's columns that differ between the runs added.
  ReportInput finish() &&;

 private:
  ReportInput input_;
  read::RunTable table_;
  const read::ProcessProbe& probe_;
  size_t expected_runs_;
};

// A run's texts as the page shows them: id, name, status, facts, metadata and notes, without its
// series or its code (which take the run's points, and git). The live page sends these again
// whenever they change.
ReportRun report_run_texts(const read::RunSummary& run, const read::ProcessProbe& probe);

// Reads each of `runs` (in that order, on up to read::reading_threads() threads per file) and
// builds the page's input; fails when a run file can't be read, unless `skipped` is given: such a
// run is then left out and its failure added there ("<path>: <why>").
Result<ReportInput> build_report_input(const std::vector<read::RunFileEntry>& runs, XAxis x_axis,
                                       int64_t now_ns, std::vector<Status>* skipped = nullptr);

}  // namespace trovik::report
