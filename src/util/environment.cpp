#include "util/environment.h"

#include <cstdlib>

#include "util/unicode.h"

namespace trovik {

std::optional<std::string> environment_text(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || !is_valid_utf8(value)) return std::nullopt;
  return std::string(value);
}

}  // namespace trovik
