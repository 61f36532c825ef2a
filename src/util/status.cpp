#include "util/status.h"

namespace trovik {

std::string Status::ToString() const {
  if (ok()) return "OK";
  const char* name = "";
  switch (error_->kind) {
    case ErrorKind::kTypeError:
      name = "TypeError";
      break;
    case ErrorKind::kValueError:
      name = "ValueError";
      break;
    case ErrorKind::kOSError:
      name = "OSError";
      break;
    case ErrorKind::kNotFound:
      name = "NotFound";
      break;
    case ErrorKind::kPythonError:
      name = "PythonError";
      break;
    case ErrorKind::kInternalFault:
      name = "InternalFault";
      break;
  }
  return std::string(name) + ": " + error_->message;
}

}  // namespace trovik
