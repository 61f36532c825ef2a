#include "git/status_plan.h"

#include "git/root_pathspec.h"

namespace trovik::git {
namespace {

constexpr std::string_view kGitlinkMode = "160000";

bool is_unmerged(char staged, char unstaged) {
  return staged == 'U' || unstaged == 'U' || (staged == 'D' && unstaged == 'D') ||
         (staged == 'A' && unstaged == 'A');
}

// A path where the user's index differs from HEAD.
struct HeadDifference {
  char state;  // A, D, M, T or U
  bool gitlink_in_head;
  std::string path;
};

// The records of `diff-index --cached -z` without renames: ":<HEAD's mode> <index's mode> <HEAD's
// id> <index's id> <state>", NUL, the path, NUL. Nothing for a record of another shape.
std::optional<std::vector<HeadDifference>> parse_differences(std::string_view output) {
  std::vector<HeadDifference> differences;
  while (!output.empty()) {
    const size_t fields_end = output.find('\0');
    const size_t path_end = output.find('\0', fields_end + 1);
    if (fields_end == std::string_view::npos || path_end == std::string_view::npos ||
        path_end == fields_end + 1) {
      return std::nullopt;
    }
    const std::string_view fields = output.substr(0, fields_end);
    const size_t state = fields.rfind(' ');
    if (!fields.starts_with(':') || state == std::string_view::npos || state + 2 != fields.size()) {
      return std::nullopt;
    }
    differences.push_back({fields.back(), fields.substr(1).starts_with(kGitlinkMode),
                           std::string(output.substr(fields_end + 1, path_end - fields_end - 1))});
    output.remove_prefix(path_end + 1);
  }
  return differences;
}

}  // namespace

std::optional<StatusPlan> plan_from_status(const std::vector<StatusEntry>& status,
                                           std::string_view head_differences,
                                           const IndexListing& listing,
                                           const std::optional<std::string>& root) {
  if (listing.unmerged || listing.sparse_directories || !listing.assume_unchanged.empty() ||
      !listing.skip_worktree.empty()) {
    return std::nullopt;
  }
  const std::optional<std::vector<HeadDifference>> differences =
      parse_differences(head_differences);
  if (!differences) return std::nullopt;

  StatusPlan plan;
  plan.reset_to_head = !differences->empty();
  std::set<std::string> candidates;
  // Submodule commits can move without status saying so; HEAD's are the index's once it is reset.
  plan.gitlinks.insert(listing.gitlinks.begin(), listing.gitlinks.end());
  // Only this comparison says for certain which paths HEAD lacks: status leaves out submodules.
  // What the user's index adds (new files, intent-to-add entries, rename targets) shows as "A".
  for (const HeadDifference& difference : *differences) {
    if (difference.state == 'U') return std::nullopt;
    if (difference.state == 'A') plan.staged.insert(difference.path);
    if (difference.gitlink_in_head) {
      plan.gitlinks.insert(difference.path);
    } else {
      plan.gitlinks.erase(difference.path);
    }
    candidates.insert(difference.path);
  }
  for (const StatusEntry& entry : status) {
    if (is_unmerged(entry.staged, entry.unstaged)) return std::nullopt;
    if (entry.staged == '?') {
      plan.untracked.insert(entry.path);
      continue;
    }
    candidates.insert(entry.path);
    if (!entry.source.empty()) candidates.insert(entry.source);
  }
  candidates.insert(plan.gitlinks.begin(), plan.gitlinks.end());

  for (const std::string& path : candidates) {
    (plan.staged.count(path) != 0 ? plan.untracked : plan.tracked).insert(path);
  }
  plan.root = root;
  if (root) {
    const auto below_root = [&](const std::string& path) { return lies_within(*root, path); };
    std::erase_if(plan.tracked, below_root);
    std::erase_if(plan.untracked, below_root);
  }
  return plan;
}

}  // namespace trovik::git
