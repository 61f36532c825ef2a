#pragma once

#include <string>

#include "util/status.h"

namespace trovik {

// The platform's description of an error number, then " (os error N)": the one form in which the
// module reports operating-system failures ("No such file or directory (os error 2)").
std::string os_error_text(int error_number);

// A failure of the given class carrying os_error_text(error_number).
Status os_error(int error_number, ErrorKind kind = ErrorKind::kOSError);

}  // namespace trovik
