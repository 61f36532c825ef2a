#include "run/run_creation.h"

#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "run/root_ignore_file.h"
#include "run/run_id.h"
#include "run/run_start.h"
#include "util/environment.h"
#include "util/os_error.h"
#include "util/path.h"
#include "util/system_calls.h"
#include "util/unicode.h"

namespace trovik::run {
namespace {

bool is_directory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The lexical parent of a path ("" when it has none).
std::string parent_directory(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Creates `path` and its missing ancestors (mode 0777 before the umask). A directory that exists
// already, or that another process creates at the same moment, is success.
Status create_directories(const std::string& path) {
  if (path.empty()) return Status::Ok();
  if (sys_mkdir(path.c_str(), 0777) == 0) return Status::Ok();
  int error_number = errno;
  if (error_number == ENOENT) {
    std::string parent = parent_directory(path);
    if (!parent.empty() && parent != path) {
      Status status = create_directories(parent);
      if (!status.ok()) return status;
      if (sys_mkdir(path.c_str(), 0777) == 0) return Status::Ok();
      error_number = errno;
    }
  }
  if (is_directory(path)) return Status::Ok();
  return os_error(error_number);
}

}  // namespace

Result<PendingRun> begin_run(std::string name) {
  if (trim_white_space(name).empty()) return Status::ValueError("experiment name cannot be empty");
  Result<std::string> run_id = new_run_id();
  if (!run_id.ok()) return std::move(run_id).status();
  const std::string root_directory = trovik_root_directory();
  const RootIgnoreFile ignore_file(root_directory);
  const std::string runs_directory = join_path(root_directory, "runs");
  Status created = create_directories(runs_directory);
  if (!created.ok()) return created;
  ignore_file.write_if_created();
  std::string path = join_path(runs_directory, run_id.value() + ".jsonl");
  std::string location = absolute_path(path);
  return PendingRun{std::move(run_id).value(), std::move(name), std::move(path),
                    std::move(location)};
}

Result<Run> start_run(PendingRun pending, std::optional<json::Value> metadata) {
  Run run{std::move(pending.run_id), std::move(pending.name),     std::move(pending.path),
          monotonic_now(),           std::move(pending.location), realtime_now()};
  Status written = write_run_start(run, std::move(metadata));
  if (!written.ok()) return written;
  return run;
}

}  // namespace trovik::run
