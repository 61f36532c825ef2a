#include "cli/command_context.h"

#include "read/run_reference.h"
#include "read/run_roots.h"

namespace trovik::cli {

std::vector<read::RunFileEntry> CommandContext::runs() const {
  return read::list_run_files(read::find_run_roots(roots));
}

Result<read::RunFileEntry> CommandContext::find_run(const std::string& reference) const {
  return read::resolve_run(reference, runs());
}

}  // namespace trovik::cli
