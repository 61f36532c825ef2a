#include "git/index_listing.h"

namespace trovik::git {

namespace {

// Puts `path` on the lists that its tag names.
void add_tagged(IndexListing* listing, char tag, const std::string& path) {
  if (tag == '?') {
    listing->untracked.push_back(path);
    return;
  }
  if (path.back() == '/') listing->sparse_directories = true;
  if (tag >= 'a' && tag <= 'z') listing->assume_unchanged.push_back(path);
  if (tag == 'S' || tag == 's') listing->skip_worktree.push_back(path);
}

// Calls `record` with each NUL-terminated record of `output`.
template <typename Record>
void for_each_record(std::string_view output, Record&& record) {
  while (!output.empty()) {
    const size_t end = output.find('\0');
    record(output.substr(0, end));
    output = end == std::string_view::npos ? std::string_view() : output.substr(end + 1);
  }
}

}  // namespace

IndexListing parse_index_listing(std::string_view output) {
  IndexListing listing;
  for_each_record(output, [&](std::string_view record) {
    if (record.size() < 3 || record[1] != ' ') return;
    add_tagged(&listing, record[0], std::string(record.substr(2)));
  });
  return listing;
}

IndexListing parse_staged_index_listing(std::string_view output) {
  IndexListing listing;
  for_each_record(output, [&](std::string_view record) {
    const size_t tab = record.find('\t');
    if (record.size() < 3 || record[1] != ' ' || tab == std::string_view::npos ||
        tab + 1 == record.size()) {
      return;
    }
    const std::string_view fields = record.substr(2, tab - 2);
    const std::string path(record.substr(tab + 1));
    add_tagged(&listing, record[0], path);
    if (fields.starts_with("160000 ")) listing.gitlinks.push_back(path);
    if (!fields.ends_with(" 0")) listing.unmerged = true;
  });
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
