#pragma once

#include <string>
#include <vector>

#include "util/status.h"

namespace trovik {

// One entry of a directory, as the file system names it.
struct DirectoryEntry {
  enum class Type { kDirectory, kRegularFile, kSymbolicLink, kOther, kUnknown };
  std::string name;
  // What the directory itself says; kUnknown on file systems that don't say (lstat tells).
  Type type = Type::kUnknown;
};

// The entries of the directory at `path`, without "." and "..", in the order the file system gives
// them. The directory is opened through the system-call seam and closed before returning; a
// directory that cannot be opened or read is an OSError.
Result<std::vector<DirectoryEntry>> list_directory(const std::string& path);

}  // namespace trovik
