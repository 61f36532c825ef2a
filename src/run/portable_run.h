#pragma once

#include <string>

#include "run/clock.h"
#include "run/run.h"
#include "util/status.h"

namespace trovik::run {

// What a copy of an Experiment carries to another process (pickling): all it needs to append to
// the same run file with the same envelope, and to measure elapsed_ms from the same start.
struct PortableRun {
  std::string run_id;
  std::string name;
  std::string path;
  std::string location;  // absolute unless the working directory was unreadable at creation
  Timestamp start;       // on the monotonic clock of the boot named by boot_id
  Timestamp wall_start;
  std::string boot_id;  // empty when it could not be read
};

// The run's fields, with the boot id of this process.
PortableRun portable_run(const Run& run);

// Checks the saved fields (a ValueError saying what is wrong) and rebuilds the run. The start is
// the saved one when this process runs in the same boot; otherwise another boot's monotonic
// reading means nothing here, and the start is placed as long before now as the wall clock says
// the run began. Writes nothing.
Result<Run> restore_run(PortableRun saved);

}  // namespace trovik::run
