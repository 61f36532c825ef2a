#pragma once

#include <optional>
#include <string>

#include "json/value.h"
#include "run/run.h"
#include "util/status.h"

namespace trovik::run {

// A run whose name was checked, whose id was drawn and whose runs directory exists, but which has
// not started yet: the caller converts the metadata between the two halves.
struct PendingRun {
  std::string run_id;
  std::string name;
  std::string path;
  std::string location;  // see Run::location
};

// Checks the name (ValueError "experiment name cannot be empty" when only White_Space remains),
// draws the run id, resolves the root directory and creates <root>/runs with its ancestors.
Result<PendingRun> begin_run(std::string name);

// Reads the start instant and writes the run_start record, which creates the run file.
Result<Run> start_run(PendingRun pending, std::optional<json::Value> metadata);

}  // namespace trovik::run
