#include "run/cgroup_quota.h"

#include <algorithm>
#include <charconv>
#include <utility>
#include <vector>

#include "util/path.h"

namespace trovik::run {
namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

bool contains(const std::vector<std::string_view>& items, std::string_view wanted) {
  return std::find(items.begin(), items.end(), wanted) != items.end();
}

// The blank-separated words of a control file ("150000 100000\n").
std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> result;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
    size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\n') ++i;
    if (i > start) result.push_back(text.substr(start, i - start));
  }
  return result;
}

std::optional<int64_t> parse_integer(std::string_view word) {
  int64_t value = 0;
  auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size()) return std::nullopt;
  return value;
}

std::optional<uint64_t> limit_from(std::optional<int64_t> quota, std::optional<int64_t> period) {
  if (!quota || !period || *quota <= 0 || *period <= 0) return std::nullopt;
  // A quota below one period still lets the process run, on one processor at a time.
  return std::max<uint64_t>(1, static_cast<uint64_t>(*quota / *period));
}

// cpu.max holds "<quota> <period>", or "max <period>" when the group is unlimited.
std::optional<uint64_t> unified_limit(const ReadFile& read_file, const std::string& directory) {
  auto text = read_file(join_path(directory, "cpu.max"));
  if (!text) return std::nullopt;
  auto fields = words(*text);
  if (fields.size() != 2 || fields[0] == "max") return std::nullopt;
  return limit_from(parse_integer(fields[0]), parse_integer(fields[1]));
}

// A quota of -1 means unlimited; limit_from drops it with every other non-positive value.
std::optional<uint64_t> v1_limit(const ReadFile& read_file, const std::string& directory) {
  auto single_integer = [&](const char* name) -> std::optional<int64_t> {
    auto text = read_file(join_path(directory, name));
    if (!text) return std::nullopt;
    auto fields = words(*text);
    if (fields.size() != 1) return std::nullopt;
    return parse_integer(fields[0]);
  };
  auto quota = single_integer("cpu.cfs_quota_us");
  if (!quota || *quota <= 0) return std::nullopt;
  return limit_from(quota, single_integer("cpu.cfs_period_us"));
}

// mountinfo writes space, tab, newline and backslash in paths as three-digit octal escapes.
std::string unescape_octal(std::string_view field) {
  auto is_octal = [](char c) { return c >= '0' && c <= '7'; };
  std::string result;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && is_octal(field[i + 1]) &&
        is_octal(field[i + 2]) && is_octal(field[i + 3])) {
      result += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                  (field[i + 3] - '0'));
      i += 3;
    } else {
      result += field[i];
    }
  }
  return result;
}

struct Mount {
  std::string root;
  std::string mount_point;
  std::string_view fs_type;
  std::vector<std::string_view> super_options;
};

// "36 35 0:30 /root /mount/point rw,relatime shared:5 - cgroup cgroup rw,cpu,cpuacct": the optional
// fields before "-" vary in number, so the filesystem fields are found after the separator.
std::vector<Mount> parse_mounts(std::string_view mountinfo) {
  std::vector<Mount> mounts;
  for (std::string_view line : split(mountinfo, '\n')) {
    auto fields = split(line, ' ');
    auto separator = std::find(fields.begin() + std::min<std::ptrdiff_t>(std::ssize(fields), 6),
                               fields.end(), std::string_view("-"));
    if (separator == fields.end() || fields.end() - separator < 4) continue;
    mounts.push_back(Mount{unescape_octal(fields[3]), unescape_octal(fields[4]), separator[1],
                           split(separator[3], ',')});
  }
  return mounts;
}

// The components of `path` below `root`, or nothing when the path lies elsewhere (a group outside
// the mounted subtree, or a path climbing out of a cgroup namespace with "..").
std::optional<std::vector<std::string_view>> components_below(std::string_view path,
                                                              std::string_view root) {
  if (path.empty() || path.front() != '/') return std::nullopt;
  std::string_view relative;
  if (root == "/") {
    relative = path;
  } else if (path == root) {
    relative = "";
  } else if (path.size() > root.size() && path.substr(0, root.size()) == root &&
             path[root.size()] == '/') {
    relative = path.substr(root.size());
  } else {
    return std::nullopt;
  }
  std::vector<std::string_view> components;
  for (std::string_view part : split(relative, '/')) {
    if (part == "." || part == "..") return std::nullopt;
    if (!part.empty()) components.push_back(part);
  }
  return components;
}

// Either limit when only one is known; the tighter one otherwise.
std::optional<uint64_t> smaller(std::optional<uint64_t> a, std::optional<uint64_t> b) {
  if (!a) return b;
  if (!b) return a;
  return std::min(*a, *b);
}

using LimitReader = std::optional<uint64_t> (*)(const ReadFile&, const std::string&);

// Reads the limit of the process's group and of each ancestor up to the mount point, and keeps the
// smallest: a quota on any enclosing group throttles the process as well.
std::optional<uint64_t> hierarchy_limit(const std::vector<const Mount*>& candidates,
                                        std::string_view path, const ReadFile& read_file,
                                        LimitReader read_limit) {
  if (candidates.empty()) return std::nullopt;
  // Prefer the mount that shows most of the path's ancestry; when none holds the path (the group is
  // outside what this namespace sees), the mount point itself is the process's group.
  const Mount* chosen = nullptr;
  std::vector<std::string_view> components;
  for (const Mount* mount : candidates) {
    auto below = components_below(path, mount->root);
    if (below && (chosen == nullptr || below->size() > components.size())) {
      chosen = mount;
      components = std::move(*below);
    }
  }
  if (chosen == nullptr) chosen = candidates.front();

  std::string directory = chosen->mount_point;
  std::optional<uint64_t> smallest = read_limit(read_file, directory);
  for (std::string_view component : components) {
    directory = join_path(directory, component);
    smallest = smaller(smallest, read_limit(read_file, directory));
  }
  return smallest;
}

}  // namespace

std::optional<uint64_t> cgroup_cpu_limit(std::string_view proc_cgroup, std::string_view mountinfo,
                                         const ReadFile& read_file) {
  std::vector<Mount> mounts = parse_mounts(mountinfo);
  std::vector<const Mount*> unified_mounts;
  std::vector<const Mount*> cpu_mounts;
  for (const Mount& mount : mounts) {
    if (mount.fs_type == "cgroup2") unified_mounts.push_back(&mount);
    if (mount.fs_type == "cgroup" && contains(mount.super_options, "cpu")) {
      cpu_mounts.push_back(&mount);
    }
  }

  std::optional<uint64_t> smallest;
  // Lines read "hierarchy-id:controllers:path"; the path itself may hold colons.
  for (std::string_view line : split(proc_cgroup, '\n')) {
    size_t first = line.find(':');
    if (first == std::string_view::npos) continue;
    size_t second = line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    std::string_view id = line.substr(0, first);
    std::string_view controllers = line.substr(first + 1, second - first - 1);
    std::string_view path = line.substr(second + 1);
    if (id == "0" && controllers.empty()) {
      smallest = smaller(smallest, hierarchy_limit(unified_mounts, path, read_file, unified_limit));
    } else if (contains(split(controllers, ','), "cpu")) {
      smallest = smaller(smallest, hierarchy_limit(cpu_mounts, path, read_file, v1_limit));
    }
  }
  return smallest;
}

}  // namespace trovik::run
