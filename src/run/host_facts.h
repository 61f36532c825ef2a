#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trovik::run {

// The argument vector the kernel gave the process at start (/proc/self/cmdline), program name
// first, each element decoded lossily. Empty when it can't be read.
std::vector<std::string> process_arguments();

// Processors the process may use: the scheduler affinity mask (read as a 1,024-processor set), else
// the online processors, capped by a control-group CPU quota (quota / period, at least 1). Nothing
// when neither source gives a positive number.
std::optional<uint64_t> processor_count();

// Splits the contents of a /proc/<pid>/cmdline file into arguments, each decoded lossily. Every
// element ends in a NUL; a trailing piece without one (a process that rewrote its argument area)
// still counts as an element.
std::vector<std::string> split_command_line(std::string_view contents);

}  // namespace trovik::run
