#include "git/working_directory.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "util/unicode.h"

namespace trovik::git {

std::optional<std::string> working_directory_text() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  return decode_utf8_lossy(buffer.data());
}

}  // namespace trovik::git
