#include "git/index_listing.h"

namespace trovik::git {

IndexListing parse_index_listing(std::string_view output) {
  IndexListing listing;
  while (!output.empty()) {
    const size_t end = output.find('\0');
    const std::string_view record = output.substr(0, end);
    output = end == std::string_view::npos ? std::string_view() : output.substr(end + 1);
    if (record.size() < 3 || record[1] != ' ') continue;
    const char tag = record[0];
    const std::string path(record.substr(2));
    if (tag == '?') {
      listing.untracked.push_back(path);
      continue;
    }
    if (path.back() == '/') listing.sparse_directories = true;
    if (tag >= 'a' && tag <= 'z') listing.assume_unchanged.push_back(path);
    if (tag == 'S' || tag == 's') listing.skip_worktree.push_back(path);
  }
  return listing;
}

std::vector<std::string> nul_separated_paths(std::string_view output) {
  std::vector<std::string> paths;
  while (!output.empty()) {
    const size_t end = output.find('\0');
    if (end != 0) paths.emplace_back(output.substr(0, end));
    if (end == std::string_view::npos) break;
    output.remove_prefix(end + 1);
  }
  return paths;
}

}  // namespace trovik::git
