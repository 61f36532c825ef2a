#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace trovik::git {

// What `git ls-files -v -z --cached --others --exclude-standard` says about an index and the work
// tree: the entries whose bits would make `add` skip them, and the untracked, non-ignored files.
// Paths are as git printed them.
struct IndexListing {
  std::vector<std::string> assume_unchanged;  // tag in lower case
  std::vector<std::string> skip_worktree;     // tag "S", or "s" with assume-unchanged as well
  std::vector<std::string> untracked;         // tag "?"
  // Whether the index is sparse: it holds whole directories (shown with a final "/") in place of
  // their files, which git cannot unmark one by one.
  bool sparse_directories = false;
  // Only from a listing with `-s` (parse_staged_index_listing): the submodule commits (mode
  // 160000), and whether any entry is unmerged (a stage other than 0).
  std::vector<std::string> gitlinks;
  bool unmerged = false;
};

// Parses NUL-terminated records of a one-letter tag, a space and the path. Records of another
// shape are ignored.
IndexListing parse_index_listing(std::string_view output);

// The same from `git ls-files -s -v -z --cached`: records of a tag, a space, the mode, object id
// and stage separated by spaces, a tab and the path.
IndexListing parse_staged_index_listing(std::string_view output);

// The NUL-terminated paths of `git ls-files -z` without tags.
std::vector<std::string> nul_separated_paths(std::string_view output);

}  // namespace trovik::git
