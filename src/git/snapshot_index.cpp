#include "git/snapshot_index.h"

#include <unistd.h>

#include <set>

#include "git/index_copy.h"
#include "git/root_pathspec.h"
#include "util/path.h"

namespace trovik::git {
namespace {

// update-index takes paths, not pathspecs, and only as arguments here (its standard input is
// /dev/null): batches keep each command line far below the kernel's limit.
constexpr size_t kBatchBytes = size_t{64} << 10;

// git reads update-index's paths from the working directory; the listing gives them from the top.
std::vector<std::string> from_working_directory(const std::vector<std::string>& paths,
                                                const std::string& top_level,
                                                const std::string& working_directory) {
  std::vector<std::string> relative;
  relative.reserve(paths.size());
  for (const std::string& path : paths) {
    relative.push_back(relative_path(working_directory, join_path(top_level, path)));
  }
  return relative;
}

}  // namespace

std::vector<std::string> writing_index(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"-c", "core.splitIndex=false"});
  return arguments;
}

bool update_index_in_batches(const SnapshotRunner& snapshot_git,
                             const std::vector<std::string>& command,
                             const std::vector<std::string>& paths, const std::string& top_level,
                             const std::string& working_directory) {
  const std::vector<std::string> relative =
      from_working_directory(paths, top_level, working_directory);
  size_t next = 0;
  while (next < relative.size()) {
    std::vector<std::string> arguments = command;
    arguments.emplace_back("--");
    size_t bytes = 0;
    for (; next < relative.size() && (bytes == 0 || bytes + relative[next].size() < kBatchBytes);
         ++next) {
      bytes += relative[next].size() + 1;
      arguments.push_back(relative[next]);
    }
    if (!snapshot_git.run(arguments)) return false;
  }
  return true;
}

bool copy_user_index(const std::optional<std::string>& user_index, const std::string& index_file,
                     const std::string& working_directory) {
  if (!user_index || user_index->empty()) return false;
  const std::string from =
      user_index->front() == '/' ? *user_index : join_path(working_directory, *user_index);
  return copy_index_keeping_mtime(from, index_file).ok();
}

bool reset_to_head(const SnapshotRunner& snapshot_git, const std::string& head_commit) {
  // Sparse-checkout patterns would mark entries skip-worktree again, and `add` would then keep
  // HEAD's version of files the work tree lacks.
  return snapshot_git
      .run(writing_index({"read-tree", "--reset", "--no-sparse-checkout", head_commit}))
      .has_value();
}

bool start_from_head(const SnapshotRunner& snapshot_git, const std::string& index_file,
                     const std::string& head_commit) {
  // Whatever a failed seeding left there must not be read as a starting point.
  (void)::unlink(index_file.c_str());
  return snapshot_git.run(writing_index({"read-tree", head_commit})).has_value();
}

std::optional<IndexListing> list_index(const SnapshotRunner& snapshot_git, bool with_untracked) {
  std::vector<std::string> arguments = {"ls-files", "-v", "-z", "--sparse", "--cached"};
  if (with_untracked) arguments.insert(arguments.end(), {"--others", "--exclude-standard"});
  arguments.insert(arguments.end(), {"--full-name", "--", ":/"});
  const std::optional<std::string> output = snapshot_git.run_bytes(arguments);
  if (!output) return std::nullopt;
  return parse_index_listing(*output);
}

bool clear_skipping_bits(const SnapshotRunner& snapshot_git, const IndexListing& listing,
                         const std::string& top_level, const std::string& working_directory) {
  // One flag per call: given both, update-index applies only the last.
  return update_index_in_batches(snapshot_git,
                                 writing_index({"update-index", "--no-assume-unchanged"}),
                                 listing.assume_unchanged, top_level, working_directory) &&
         update_index_in_batches(snapshot_git,
                                 writing_index({"update-index", "--no-skip-worktree"}),
                                 listing.skip_worktree, top_level, working_directory);
}

std::vector<LargeFile> large_untracked_files(const IndexListing& listing,
                                             const std::string& top_level,
                                             const IndexQuery& other_index) {
  std::vector<LargeFile> large = large_files(listing.untracked, top_level);
  if (large.empty()) return large;
  std::vector<std::string> arguments = {"ls-files", "-z", "--full-name", "--"};
  for (const LargeFile& file : large) arguments.push_back(":(top,literal)" + file.path);
  const std::optional<std::string> tracked = other_index(arguments);
  if (!tracked) return {};
  std::set<std::string> tracked_paths;
  for (const std::string& path : nul_separated_paths(*tracked)) tracked_paths.insert(path);
  std::erase_if(large, [&](const LargeFile& file) { return tracked_paths.count(file.path) != 0; });
  return large;
}

bool reset_root_directory(const SnapshotRunner& snapshot_git, const std::string& root_spec) {
  return snapshot_git.run(writing_index({"reset", "--quiet", "--no-refresh", "--", root_spec})) ||
         snapshot_git.run(writing_index({"reset", "--quiet", "--", root_spec}));
}

std::vector<std::string> checking_stat_data(std::vector<std::string> arguments) {
  // No user setting may make git trust stale stat data in the seeded index.
  arguments.insert(arguments.begin(), {"-c", "core.fsmonitor=false", "-c", "core.trustctime=true",
                                       "-c", "core.checkStat=default"});
  return arguments;
}

std::vector<std::string> add_all_except(const std::vector<std::string>& exclusions) {
  std::vector<std::string> arguments = checking_stat_data(writing_index({"add", "--all"}));
  if (exclusions.empty()) return arguments;
  arguments.insert(arguments.end(), {"--", ":/"});
  arguments.insert(arguments.end(), exclusions.begin(), exclusions.end());
  return arguments;
}

}  // namespace trovik::git
