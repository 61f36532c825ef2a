#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "util/status.h"

namespace trovik {

// Fills `buffer` from the kernel's random source: the getrandom system call, else /dev/urandom on
// kernels without it. A failure is an OSError whose message is "OS Error: <errno>", or "the random
// source ended early" when /dev/urandom ran dry.
Status fill_random_bytes(uint8_t* buffer, size_t size);

// `size` random bytes as 2 * size lower-case hex digits.
Result<std::string> random_hex(size_t size);

}  // namespace trovik
