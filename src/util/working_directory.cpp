#include "util/working_directory.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "util/unicode.h"

namespace trovik {

std::optional<std::string> working_directory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  if (buffer[0] != '/') return std::nullopt;
  return std::string(buffer.data());
}

std::optional<std::string> working_directory_text() {
  std::optional<std::string> directory = working_directory();
  if (!directory) return std::nullopt;
  return decode_utf8_lossy(*directory);
}

}  // namespace trovik
