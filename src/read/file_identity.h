#pragma once

#include <sys/stat.h>

#include <cstdint>

namespace trovik::read {

// A file as stat(2) describes it: while all four stay the same, it has not been written to.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t mtime_ns = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

FileIdentity identity_of(const struct stat& info);

}  // namespace trovik::read
