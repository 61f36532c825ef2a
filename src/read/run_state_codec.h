#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "read/run_follower.h"
#include "util/status.h"

namespace trovik::read {

// The stored form of a follower's state, for a cache on disk: a fixed tag, the format version,
// the state, and a checksum of all that. Doubles keep their bits, every text its bytes.
inline constexpr uint32_t kRunStateVersion = 4;

std::string encode_run_state(const RunFollowerState& state);

// The state `bytes` hold. Bytes that are cut short, damaged, of another version or not such a
// state at all are a ValueError: the caller reads the file again instead.
Result<RunFollowerState> decode_run_state(std::string_view bytes);

}  // namespace trovik::read
