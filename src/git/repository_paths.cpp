#include "git/repository_paths.h"

#include <string_view>
#include <vector>

#include "git/command_runner.h"

namespace trovik::git {
namespace {

std::optional<RepositoryPaths> asked_together(const std::string& head_commit) {
  const OptionalText answer =
      command_output("git", {"rev-parse", "--git-dir", "--show-toplevel", "--git-path", "index",
                             head_commit + "^{tree}"});
  if (!answer) return std::nullopt;
  std::vector<std::string> lines;
  std::string_view rest = *answer;
  for (size_t end = rest.find('\n'); end != std::string_view::npos; end = rest.find('\n')) {
    lines.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end + 1);
  }
  lines.emplace_back(rest);
  if (lines.size() != 4) return std::nullopt;
  return RepositoryPaths{lines[0], lines[1], lines[2], lines[3]};
}

}  // namespace

std::optional<RepositoryPaths> repository_paths(const std::string& head_commit) {
  if (std::optional<RepositoryPaths> together = asked_together(head_commit)) return together;
  const OptionalText git_directory = command_output("git", {"rev-parse", "--git-dir"});
  if (!git_directory) return std::nullopt;
  const OptionalText top_level = command_output("git", {"rev-parse", "--show-toplevel"});
  if (!top_level) return std::nullopt;
  return RepositoryPaths{*git_directory, *top_level,
                         command_output("git", {"rev-parse", "--git-path", "index"}), std::nullopt};
}

}  // namespace trovik::git
