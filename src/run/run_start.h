#pragma once

#include <optional>

#include "json/value.h"
#include "run/run.h"
#include "util/status.h"

namespace trovik::run {

// Gathers the facts a run starts from (working directory, arguments, git state, host and process)
// and appends the run_start record, which creates the run file. Gathering never fails: a fact that
// can't be had is recorded as null or left at its fallback. Only the append can fail.
Status write_run_start(const Run& run, std::optional<json::Value> metadata);

}  // namespace trovik::run
