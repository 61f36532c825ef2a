#pragma once

#include <string>
#include <vector>

#include "git/command_runner.h"

namespace trovik::git {

// The process environment as "NAME=value" entries, in the order the process holds them.
std::vector<std::string> inherited_environment();

// `inherited` with every entry whose name is set by `overrides` removed, then the overrides
// appended as "NAME=value" in their order. Removing first keeps each name once: with duplicates,
// which one a child sees depends on how it searches its environment.
std::vector<std::string> environment_with_overrides(std::vector<std::string> inherited,
                                                    const EnvironmentOverrides& overrides);

}  // namespace trovik::git
