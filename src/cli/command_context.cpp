#include "cli/command_context.h"

#include "read/run_reference.h"
#include "read/run_roots.h"

namespace trovik::cli {

std::vector<read::RunFileEntry> CommandContext::runs(bool read_first_lines) const {
  return read::list_run_files(read::find_run_roots(roots), read_first_lines);
}

Result<read::RunFileEntry> CommandContext::find_run(const std::string& reference) const {
  return read::resolve_run(reference, runs());
}

}  // namespace trovik::cli
