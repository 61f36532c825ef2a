#pragma once

#include <cstdint>
#include <string_view>

namespace trovik::read {

// 64-bit FNV-1a: a check that bytes are those seen before, not a defence against a forger.
inline uint64_t byte_hash(std::string_view bytes, uint64_t hash = 0xcbf29ce484222325) {
  for (const char byte : bytes) {
    hash ^= static_cast<unsigned char>(byte);
    hash *= 0x100000001b3;
  }
  return hash;
}

}  // namespace trovik::read
