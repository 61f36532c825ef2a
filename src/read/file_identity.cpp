#include "read/file_identity.h"

namespace trovik::read {

FileIdentity identity_of(const struct stat& info) {
  return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                      static_cast<uint64_t>(info.st_size),
                      static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 +
                          static_cast<int64_t>(info.st_mtim.tv_nsec)};
}

}  // namespace trovik::read
