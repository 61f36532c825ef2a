#include "read/snapshot_branches.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>

#include "git/command_runner.h"
#include "git/recorded_names.h"
#include "read/short_names.h"
#include "util/directory_listing.h"
#include "util/environment.h"
#include "util/os_error.h"
#include "util/path.h"

namespace trovik::read {
namespace {

// Splits "a\tb\tc\td" into exactly four fields; the last keeps any further tabs.
bool split_fields(std::string_view line, std::string_view (&fields)[4]) {
  for (int i = 0; i < 3; ++i) {
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return false;
    fields[i] = line.substr(0, tab);
    line.remove_prefix(tab + 1);
  }
  fields[3] = line;
  return true;
}

}  // namespace

std::optional<std::vector<RunBranch>> list_run_branches() {
  const std::string prefix = git::run_branch_ref_prefix();
  const git::OptionalText listing = git::command_output(
      "git", {"for-each-ref",
              "--format=%(refname)%09%(objectname)%09%(committerdate:unix)%09%(contents:subject)",
              prefix});
  if (!listing) return std::nullopt;
  std::vector<RunBranch> branches;
  std::string_view rest = *listing;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    std::string_view fields[4];
    if (!split_fields(line, fields) || !fields[0].starts_with(prefix)) continue;
    int64_t seconds = 0;
    std::from_chars(fields[2].data(), fields[2].data() + fields[2].size(), seconds);
    branches.push_back(RunBranch{std::string(fields[0]), std::string(fields[1]),
                                 seconds * 1'000'000'000, std::string(fields[3])});
  }
  return branches;
}

Status delete_run_branch(const RunBranch& branch) {
  // The old value makes git refuse when the ref has moved since it was listed.
  if (!git::command_output("git", {"update-ref", "-d", branch.ref, branch.commit})) {
    return Status::OSError("git did not delete " + branch.ref + " (it no longer points at " +
                           abbreviated_commit(branch.commit) + ")");
  }
  return Status::Ok();
}

std::vector<LeftoverIndex> list_leftover_indexes() {
  std::vector<LeftoverIndex> indexes;
  const std::string directory = temporary_directory();
  Result<std::vector<DirectoryEntry>> entries = list_directory(directory);
  if (!entries.ok()) return indexes;
  for (const DirectoryEntry& entry : entries.value()) {
    const std::optional<std::string_view> run_id = git::run_id_of_index_file(entry.name);
    if (!run_id) continue;
    LeftoverIndex index;
    index.path = join_path(directory, entry.name);
    struct stat info {};
    if (::lstat(index.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    index.run_id = std::string(*run_id);
    index.modified_ns =
        static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    indexes.push_back(std::move(index));
  }
  return indexes;
}

Status delete_leftover_index(const LeftoverIndex& index) {
  if (::unlink(index.path.c_str()) != 0 && errno != ENOENT) {
    return Status::OSError("cannot delete " + index.path + ": " + os_error_text(errno));
  }
  return Status::Ok();
}

}  // namespace trovik::read
