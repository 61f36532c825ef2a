#include "util/os_error.h"

#include <cstring>

namespace trovik {
namespace {

// glibc exposes the GNU strerror_r (returns the text) unless strict POSIX is asked for (returns an
// int and fills the buffer); these overloads accept whichever one the headers declare.
[[maybe_unused]] const char* pick_text(const char* returned, const char* /*buffer*/) {
  return returned;
}
[[maybe_unused]] const char* pick_text(int /*returned*/, const char* buffer) { return buffer; }

}  // namespace

std::string os_error_text(int error_number) {
  char buffer[256] = {};
  const char* description = pick_text(strerror_r(error_number, buffer, sizeof buffer), buffer);
  std::string text(description);
  text += " (os error ";
  text += std::to_string(error_number);
  text += ')';
  return text;
}

Status os_error(int error_number, ErrorKind kind) {
  std::string text = os_error_text(error_number);
  switch (kind) {
    case ErrorKind::kValueError:
      return Status::ValueError(std::move(text));
    case ErrorKind::kTypeError:
      return Status::TypeError(std::move(text));
    default:
      return Status::OSError(std::move(text));
  }
}

}  // namespace trovik
