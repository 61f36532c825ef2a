#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "util/status.h"

namespace trovik::run {

// 16 random bytes as a version 4 UUID text: the version and variant bits set, 32 lower-case hex
// digits grouped 8-4-4-4-12.
std::string format_uuid_v4(std::array<uint8_t, 16> bytes);

// A fresh run id from the kernel's random source (getrandom, else /dev/urandom). Without random
// bytes this is an internal fault.
Result<std::string> new_run_id();

}  // namespace trovik::run
