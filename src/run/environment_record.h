#pragma once

#include <optional>
#include <string>
#include <vector>

#include "json/value.h"
#include "run/run.h"
#include "util/status.h"

namespace trovik::run {

// What only the interpreter knows about itself.
struct InterpreterFacts {
  std::string version;         // "3.11.2"
  std::string implementation;  // sys.implementation.name: "cpython"
  std::optional<std::string> executable;
  std::vector<std::string> search_path;  // sys.path, in its order
};

// The environment variables recorded, when set: those that change results or name a job. Never the
// whole environment, which holds secrets.
const std::vector<const char*>& recorded_variables();

// The environment value: {"editable_packages": {name: location}, "gpus": [{"driver",
// "memory_mib", "name"}], "packages": {name: version}, "platform": {"distribution", "kernel",
// "libc"}, "python": {"executable", "implementation", "version"}, "variables": {name: value}}.
// Gathering never fails: what can't be found is null, or left out of its list.
json::Value environment_value(const InterpreterFacts& interpreter);

// Gathers the environment value and appends it as one record of kind "environment".
Status append_environment(const Run& run, const InterpreterFacts& interpreter);

}  // namespace trovik::run
