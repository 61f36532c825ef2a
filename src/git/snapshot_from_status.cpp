#include "git/snapshot_from_status.h"

#include <sys/stat.h>

#include <algorithm>

#include "git/index_listing.h"
#include "git/root_pathspec.h"
#include "git/snapshot_index.h"
#include "git/status_listing.h"
#include "git/status_settings.h"
#include "util/path.h"

namespace trovik::git {
namespace {

bool is_directory(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether a directory leading to `path` (from the top level) is now a symbolic link: git counts
// the file as gone, and update-index refuses to look at it.
bool beyond_symbolic_link(const std::string& top_level, const std::string& path) {
  for (size_t slash = path.find('/'); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    struct stat info {};
    if (::lstat(join_path(top_level, path.substr(0, slash)).c_str(), &info) == 0 &&
        S_ISLNK(info.st_mode)) {
      return true;
    }
  }
  return false;
}

// Sets `root` to the root directory from the top level, as the reset's pathspec would reach it
// (nothing for a root outside the work tree). False when the pathspec's text could reach further
// (wildcards, magic) or takes in the whole work tree.
bool root_from_top(const SnapshotSite& site, std::optional<std::string>* root) {
  if (!site.root_spec) return true;
  const std::string& spec = *site.root_spec;
  if (spec.empty() || spec.front() == ':' || spec.find_first_of("*?[\\") != std::string::npos) {
    return false;
  }
  const std::string path = relative_path(site.top_level, join_path(site.working_directory, spec));
  *root = path;
  return !path.empty() && path != ".." && !path.starts_with("../");
}

// Whether `path` (a nested repository's with a final "/"), or a directory holding it, is one of
// `entries` (directories end in "/").
bool listed_at_or_above(const std::set<std::string>& entries, const std::string& path) {
  if (entries.count(path) != 0 ||
      (path.ends_with('/') && entries.count(path.substr(0, path.size() - 1)) != 0)) {
    return true;
  }
  // Every directory above it; a final "/" marks the repository itself, checked above.
  for (size_t slash = path.find('/'); slash != std::string::npos && slash + 1 < path.size();
       slash = path.find('/', slash + 1)) {
    if (entries.count(path.substr(0, slash + 1)) != 0) return true;
  }
  return false;
}

// git matches every pathspec against every path it meets: past a few, one listing of the whole
// work tree's untracked files costs less.
constexpr size_t kMostPathspecs = 32;

// The untracked, non-ignored files at or below `entries` (paths from the top level), each from the
// top level; a repository nested there shows as its directory with a final "/".
std::optional<std::vector<std::string>> untracked_files(const SnapshotSite& site,
                                                        const std::set<std::string>& entries) {
  std::vector<std::string> arguments = {"ls-files",           "-z",          "--others",
                                        "--exclude-standard", "--full-name", "--"};
  if (entries.size() > kMostPathspecs) {
    arguments.emplace_back(":/");
  } else {
    for (const std::string& entry : entries) arguments.push_back(":(top,literal)" + entry);
  }
  const std::optional<std::string> output = site.git.run_bytes(arguments);
  if (!output) return std::nullopt;
  std::vector<std::string> files = nul_separated_paths(*output);
  std::erase_if(files, [&](const std::string& file) { return !listed_at_or_above(entries, file); });
  return files;
}

}  // namespace

std::optional<StatusPlan> plan_snapshot_from_status(const SnapshotSite& site,
                                                    std::string_view status_output) {
  const std::optional<std::vector<StatusEntry>> status = parse_status_listing(status_output);
  if (!status) return std::nullopt;
  std::optional<std::string> root;
  if (!root_from_top(site, &root)) return std::nullopt;
  // Asked of the user's environment: the settings status ran with.
  const std::optional<std::string> settings = command_bytes("git", {"config", "-z", "--list"});
  if (!settings || !status_sees_every_change(*settings)) return std::nullopt;
  const std::optional<std::string> entries = site.git.run_bytes(
      {"ls-files", "-s", "-v", "-z", "--sparse", "--cached", "--full-name", "--", ":/"});
  if (!entries) return std::nullopt;
  // Submodule entries are compared too, whatever the user's settings say of them.
  const std::optional<std::string> differences =
      site.git.run_bytes({"diff-index", "--cached", "-z", "--no-renames",
                          "--ignore-submodules=none", site.head_commit, "--"});
  if (!differences) return std::nullopt;
  std::optional<StatusPlan> plan =
      plan_from_status(*status, *differences, parse_staged_index_listing(*entries), root);
  // A file that became a directory hides the files below it from status (git lists what the
  // index lacks, and the index still has the file): only a walk finds them.
  if (plan && std::ranges::any_of(plan->tracked, [&](const std::string& path) {
        return plan->gitlinks.count(path) == 0 && is_directory(join_path(site.top_level, path));
      })) {
    return std::nullopt;
  }
  return plan;
}

std::optional<std::vector<LargeFile>> fill_index_from_status(const SnapshotSite& site,
                                                             const StatusPlan& plan) {
  if (plan.reset_to_head && !reset_to_head(site.git, site.head_commit)) return std::nullopt;
  // Every path HEAD holds comes first: a file that became a directory must leave the index
  // before the files below it enter it.
  std::vector<std::string> paths;
  std::vector<std::string> gone;
  for (const std::string& path : plan.tracked) {
    (beyond_symbolic_link(site.top_level, path) ? gone : paths).push_back(path);
  }
  if (!update_index_in_batches(site.git, writing_index({"update-index", "--force-remove"}), gone,
                               site.top_level, site.working_directory)) {
    return std::nullopt;
  }
  std::vector<LargeFile> left_out;
  if (!plan.untracked.empty()) {
    std::optional<std::vector<std::string>> files = untracked_files(site, plan.untracked);
    if (!files) return std::nullopt;
    std::erase_if(*files, [&](std::string& file) {
      if (file.ends_with('/')) file.pop_back();
      return (plan.root && lies_within(*plan.root, file)) || file == site.index_inside;
    });
    // Untracked files too large to keep are never read; what the user's index holds is tracked.
    std::vector<std::string> unstaged;
    std::ranges::copy_if(*files, std::back_inserter(unstaged),
                         [&](const std::string& file) { return plan.staged.count(file) == 0; });
    left_out = large_files(unstaged, site.top_level);
    std::set<std::string> large;
    for (const LargeFile& file : left_out) large.insert(file.path);
    std::ranges::copy_if(*files, std::back_inserter(paths),
                         [&](const std::string& file) { return large.count(file) == 0; });
  }
  // Unlike `add`, update-index takes each path as it is, with no pathspec to match against
  // every entry; --replace lets a file take the place of a directory, as `add` does.
  if (!update_index_in_batches(
          site.git,
          checking_stat_data(writing_index({"update-index", "--add", "--remove", "--replace"})),
          paths, site.top_level, site.working_directory)) {
    return std::nullopt;
  }
  return left_out;
}

}  // namespace trovik::git
