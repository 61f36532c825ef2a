#include "git/snapshot_from_work_tree.h"

#include <algorithm>

#include "git/excluded_paths.h"
#include "git/snapshot_index.h"

namespace trovik::git {

std::optional<std::vector<LargeFile>> fill_index_from_work_tree(const SnapshotSite& site,
                                                                bool seeded, bool list_untracked) {
  // HEAD's tree, with the stat data of the user's index where it can be had, so that `add` reads
  // only what changed; the work tree itself is not touched. The listing of the copy shows the
  // bits to clear, and the files the user's index lacks.
  std::optional<IndexListing> listing;
  if (seeded) listing = list_index(site.git, list_untracked);
  // git 2.39's update-index garbles a sparse index when it unmarks a file inside one of its
  // directories: such an index is not used.
  seeded = seeded && listing && !listing->sparse_directories &&
           clear_skipping_bits(site.git, *listing, site.top_level, site.working_directory) &&
           reset_to_head(site.git, site.head_commit);
  if (!seeded) {
    if (!start_from_head(site.git, site.index_file, site.head_commit)) return std::nullopt;
    listing = list_index(site.git, list_untracked);
  }
  // Untracked files too large to keep are never read; a file in HEAD or in the user's index is
  // tracked, and without a listing nothing is left out.
  const IndexQuery other_index = [&](const std::vector<std::string>& arguments) {
    return seeded ? site.git.run_bytes(arguments) : command_bytes("git", arguments);
  };
  std::vector<LargeFile> left_out =
      listing ? large_untracked_files(*listing, site.top_level, other_index)
              : std::vector<LargeFile>{};
  std::vector<std::string> exclusions;
  exclusions.reserve(left_out.size() + 2);
  for (const LargeFile& file : left_out) exclusions.push_back(literal_exclusion(file.path));
  // A temporary directory inside the work tree must not put the index, or git's lock on it, into
  // the snapshot; where git ignores them, there is nothing to exclude.
  if (site.index_inside && listing &&
      std::ranges::count(listing->untracked, *site.index_inside) != 0) {
    exclusions.push_back(literal_exclusion(*site.index_inside));
    exclusions.push_back(lock_file_exclusion(*site.index_inside));
  }

  // Every other non-ignored file, tracked or not, with deletions.
  if (!site.git.run(add_all_except(exclusions))) return std::nullopt;
  // Put the root directory back as HEAD has it, so earlier run files stay out. A root directory
  // outside the work tree has nothing to put back, and git would refuse the pathspec.
  if (site.root_spec && !reset_root_directory(site.git, *site.root_spec)) return std::nullopt;
  return left_out;
}

}  // namespace trovik::git
