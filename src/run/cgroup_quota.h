#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace trovik::run {

// Reads the whole of a file given by its absolute path; nothing when it can't be read. Injected so
// the quota lookup can run against a fixture tree instead of the live control-group filesystem.
using ReadFile = std::function<std::optional<std::string>(const std::string& path)>;

// The number of processors a control-group CPU quota allows the process: quota / period (at least
// 1), the smallest over the process's own group and every ancestor visible under the mount, in the
// unified (v2) hierarchy and the v1 hierarchy that holds the cpu controller. `proc_cgroup` and
// `mountinfo` are the texts of /proc/self/cgroup and /proc/self/mountinfo. Nothing when no quota
// applies or none can be read.
std::optional<uint64_t> cgroup_cpu_limit(std::string_view proc_cgroup, std::string_view mountinfo,
                                         const ReadFile& read_file);

}  // namespace trovik::run
