#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "read/run_catalog.h"
#include "util/status.h"

namespace trovik::read {

// Finds the run a user named: its full id, a unique id prefix of at least 4 characters, "@1" for
// the newest run ("@2" the one before, ...), or the path of a run file (which need not lie under
// any root). `runs` is the catalog, newest first. A name no run has is NotFound; a malformed,
// too short or ambiguous one is a ValueError naming the candidates.
Result<RunFileEntry> resolve_run(std::string_view reference, const std::vector<RunFileEntry>& runs);

}  // namespace trovik::read
