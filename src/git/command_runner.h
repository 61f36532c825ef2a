#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace trovik::git {

// What a child program answered: its standard output decoded as UTF-8 (invalid sequences become
// U+FFFD) with trailing White_Space removed; absent when it could not be started or did not exit
// with code 0.
using OptionalText = std::optional<std::string>;

// Extra environment variables for a child, set in this order over the inherited environment.
using EnvironmentOverrides = std::vector<std::pair<std::string, std::string>>;

// Runs `program` (searched on PATH when it has no slash) with `arguments`, in the process's working
// directory and environment, standard input from /dev/null and standard error discarded. Never
// raises, never prints.
OptionalText command_output(const std::string& program, const std::vector<std::string>& arguments);

// As command_output, with `overrides` set over the inherited environment.
OptionalText command_output(const std::string& program, const std::vector<std::string>& arguments,
                            const EnvironmentOverrides& overrides);

// As command_output, for programs that may hang (a driver query): absent when no answer came
// within `limit`. The child runs in a process group of its own, and on expiry the whole group is
// killed and the child reaped.
OptionalText command_output_within(const std::string& program,
                                   const std::vector<std::string>& arguments,
                                   std::chrono::milliseconds limit);

// As command_output, but the standard output exactly as the child wrote it: neither decoded nor
// trimmed, for output that names files (a name need not be UTF-8, and may end in white space).
std::optional<std::string> command_bytes(const std::string& program,
                                         const std::vector<std::string>& arguments,
                                         const EnvironmentOverrides& overrides = {});

}  // namespace trovik::git
