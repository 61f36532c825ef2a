#include "cli/command_context.h"

#include <sys/stat.h>

#include <string_view>

#include "cli/failure.h"
#include "read/run_reference.h"
#include "read/run_roots.h"
#include "util/path.h"

namespace trovik::cli {
namespace {

// The last name of a path, trailing slashes aside.
std::string_view base_name(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<read::RunFileEntry> CommandContext::runs(bool read_first_lines) const {
  std::vector<Status> unreadable;
  std::vector<read::RunFileEntry> found =
      read::list_run_files(read::find_run_roots(roots), read_first_lines, &unreadable);
  for (const Status& folder : unreadable) report_warning(folder.message());
  return found;
}

Status CommandContext::check_roots() const {
  for (const std::string& root : roots) {
    struct stat info {};
    if (::stat(root.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      return usage_error("--root " + root +
                         " is not a directory: give the directory that holds runs/ (.trovik)");
    }
    const std::string runs = join_path(root, "runs");
    const bool has_runs_folder = ::stat(runs.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    if (!has_runs_folder && base_name(root) == "runs") {
      return usage_error("--root " + root + " is a runs folder: give the directory above it");
    }
  }
  return Status::Ok();
}

Result<read::RunFileEntry> CommandContext::find_run(const std::string& reference) const {
  return read::resolve_run(reference, runs());
}

}  // namespace trovik::cli
