#pragma once

#include <string>
#include <vector>

#include "util/status.h"

namespace trovik {

// The names in a directory, without "." and "..", in the order the file system gives them. The
// directory is opened through the system-call seam (close-on-exec) and its stream always closed.
Result<std::vector<std::string>> directory_names(const std::string& path);

}  // namespace trovik
