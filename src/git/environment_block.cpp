#include "git/environment_block.h"

#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <utility>

namespace trovik::git {
namespace {

// The name part of an entry; an entry without "=" is all name.
std::string_view entry_name(std::string_view entry) {
  return entry.substr(0, std::min(entry.find('='), entry.size()));
}

}  // namespace

std::vector<std::string> inherited_environment() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    entries.emplace_back(*entry);
  }
  return entries;
}

std::vector<std::string> environment_with_overrides(std::vector<std::string> inherited,
                                                    const EnvironmentOverrides& overrides) {
  std::erase_if(inherited, [&overrides](const std::string& entry) {
    const std::string_view name = entry_name(entry);
    return std::any_of(overrides.begin(), overrides.end(),
                       [name](const auto& override) { return override.first == name; });
  });
  for (const auto& [name, value] : overrides) {
    std::string entry = name;
    entry += '=';
    entry += value;
    inherited.push_back(std::move(entry));
  }
  return inherited;
}

}  // namespace trovik::git
