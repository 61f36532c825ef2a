#pragma once

#include <optional>
#include <string>

namespace trovik::run {

// The kernel's id of the current boot (/proc/sys/kernel/random/boot_id, without its line feed).
// Two processes share a monotonic clock exactly when they see the same boot id. Nothing when it
// cannot be read.
std::optional<std::string> current_boot_id();

}  // namespace trovik::run
