#include "read/snapshot_branches.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>

#include "git/command_runner.h"
#include "util/environment.h"
#include "util/os_error.h"
#include "util/path.h"

namespace trovik::read {
namespace {

constexpr std::string_view kBranchPrefix = "refs/heads/run/";
constexpr std::string_view kSnapshotMessage = "trovik: snapshot run ";
constexpr std::string_view kIndexPrefix = "trovik-";
constexpr std::string_view kIndexSuffix = ".index";

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

std::optional<std::vector<SnapshotBranch>> list_snapshot_branches() {
  const git::OptionalText listing = git::command_output(
      "git", {"for-each-ref",
              "--format=%(refname)%09%(objectname)%09%(committerdate:unix)%09%(contents:subject)",
              std::string(kBranchPrefix)});
  if (!listing) return std::nullopt;
  std::vector<SnapshotBranch> branches;
  std::string_view rest = *listing;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    std::string_view fields[4];
    if (!split_fields(line, fields) || !fields[0].starts_with(kBranchPrefix)) continue;
    const std::string_view run_id = fields[0].substr(kBranchPrefix.size());
    // Only the module's own snapshot of this very run: never a branch a user made.
    if (run_id.empty() || fields[3] != std::string(kSnapshotMessage) + std::string(run_id)) {
      continue;
    }
    int64_t seconds = 0;
    std::from_chars(fields[2].data(), fields[2].data() + fields[2].size(), seconds);
    branches.push_back(SnapshotBranch{std::string(fields[0]), std::string(run_id),
                                      std::string(fields[1]), seconds * 1'000'000'000});
  }
  return branches;
}

Status delete_snapshot_branch(const SnapshotBranch& branch) {
  // The old value makes git refuse when the ref has moved since it was listed.
  if (!git::command_output("git", {"update-ref", "-d", branch.ref, branch.commit})) {
    return Status::OSError("git did not delete " + branch.ref + " (it no longer points at " +
                           branch.commit.substr(0, 10) + ")");
  }
  return Status::Ok();
}

std::vector<LeftoverIndex> list_leftover_indexes() {
  std::vector<LeftoverIndex> indexes;
  const std::string directory = temporary_directory();
  DIR* stream = ::opendir(directory.c_str());
  if (stream == nullptr) return indexes;
  while (const dirent* entry = ::readdir(stream)) {
    const std::string_view name = entry->d_name;
    if (name.size() <= kIndexPrefix.size() + kIndexSuffix.size() ||
        !name.starts_with(kIndexPrefix) || !name.ends_with(kIndexSuffix)) {
      continue;
    }
    LeftoverIndex index;
    index.path = join_path(directory, name);
    struct stat info {};
    if (::lstat(index.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    index.run_id = std::string(
        name.substr(kIndexPrefix.size(), name.size() - kIndexPrefix.size() - kIndexSuffix.size()));
    index.modified_ns =
        static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    indexes.push_back(std::move(index));
  }
  ::closedir(stream);
  return indexes;
}

Status delete_leftover_index(const LeftoverIndex& index) {
  if (::unlink(index.path.c_str()) != 0 && errno != ENOENT) {
    return Status::OSError("cannot delete " + index.path + ": " + os_error_text(errno));
  }
  return Status::Ok();
}

}  // namespace trovik::read
