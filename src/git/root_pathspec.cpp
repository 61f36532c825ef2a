#include "git/root_pathspec.h"

#include <algorithm>

#include "util/path.h"

namespace trovik::git {
namespace {

bool is_absolute(std::string_view path) { return !path.empty() && path.front() == '/'; }

}  // namespace

std::vector<std::string> normal_components(std::string_view path) {
  std::vector<std::string> components;
  while (!path.empty()) {
    const size_t slash = path.find('/');
    const std::string_view component = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      if (!components.empty()) components.pop_back();
      continue;
    }
    components.emplace_back(component);
  }
  return components;
}

bool lies_within(std::string_view directory, std::string_view path) {
  const std::vector<std::string> outer = normal_components(directory);
  const std::vector<std::string> inner = normal_components(path);
  return inner.size() >= outer.size() && std::equal(outer.begin(), outer.end(), inner.begin());
}

std::string relative_path(std::string_view base, std::string_view target) {
  const std::vector<std::string> from = normal_components(base);
  const std::vector<std::string> to = normal_components(target);
  const auto [from_rest, to_rest] = std::mismatch(from.begin(), from.end(), to.begin(), to.end());
  std::string relative;
  for (auto it = from_rest; it != from.end(); ++it) relative = join_path(relative, "..");
  for (auto it = to_rest; it != to.end(); ++it) relative = join_path(relative, *it);
  return relative;
}

std::optional<std::string> root_pathspec(std::string_view root_directory,
                                         std::string_view top_level,
                                         std::string_view working_directory) {
  if (is_absolute(root_directory)) {
    if (!lies_within(top_level, root_directory)) return std::nullopt;
    return relative_path(working_directory, root_directory);
  }
  if (!lies_within(top_level, join_path(working_directory, root_directory))) return std::nullopt;
  return std::string(root_directory);
}

}  // namespace trovik::git
