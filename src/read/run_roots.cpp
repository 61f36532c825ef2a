#include "read/run_roots.h"

#include <sys/stat.h>

#include <optional>
#include <set>
#include <utility>

#include "git/command_runner.h"
#include "util/directory_listing.h"
#include "util/environment.h"
#include "util/path.h"

namespace trovik::read {
namespace {

constexpr const char* kDefaultRoot = ".trovik";

using FileIdentity = std::pair<dev_t, ino_t>;

std::optional<FileIdentity> identity(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino};
}

// Adds every directory named ".trovik" below `directory`, not following symbolic links and never
// entering ".git" or a root already found.
void collect_roots(const std::string& directory, std::vector<std::string>& roots) {
  std::vector<std::string> subdirectories;
  Result<std::vector<DirectoryEntry>> entries = list_directory(directory);
  if (!entries.ok()) return;
  for (const DirectoryEntry& entry : entries.value()) {
    if (entry.name == ".git") continue;
    std::string path = join_path(directory, entry.name);
    bool is_directory = entry.type == DirectoryEntry::Type::kDirectory;
    if (entry.type == DirectoryEntry::Type::kUnknown) {
      struct stat info {};
      is_directory = ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }
    if (!is_directory) continue;
    if (entry.name == kDefaultRoot) {
      roots.push_back(std::move(path));
    } else {
      subdirectories.push_back(std::move(path));
    }
  }
  entries = std::vector<DirectoryEntry>();  // not held while the walk goes deeper
  for (const std::string& subdirectory : subdirectories) collect_roots(subdirectory, roots);
}

}  // namespace

std::vector<std::string> find_run_roots(const std::vector<std::string>& given) {
  if (!given.empty()) return given;
  if (std::optional<std::string> root = environment_text("TROVIK_DIR")) return {*root};

  std::vector<std::string> roots{kDefaultRoot};
  git::OptionalText top_level = git::command_output("git", {"rev-parse", "--show-toplevel"});
  if (!top_level || top_level->empty()) return roots;
  std::vector<std::string> found;
  collect_roots(*top_level, found);
  // The working directory's own root is also found by the walk: keep each directory once.
  std::set<FileIdentity> seen;
  if (std::optional<FileIdentity> own = identity(kDefaultRoot)) seen.insert(*own);
  for (std::string& root : found) {
    std::optional<FileIdentity> id = identity(root);
    if (id && seen.insert(*id).second) roots.push_back(std::move(root));
  }
  return roots;
}

}  // namespace trovik::read
