#include "util/environment.h"

#include <cstdlib>

#include "util/unicode.h"

namespace trovik {

std::optional<std::string> environment_text(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || !is_valid_utf8(value)) return std::nullopt;
  return std::string(value);
}

std::string trovik_root_directory() { return environment_text("TROVIK_DIR").value_or(".trovik"); }

std::string temporary_directory() {
  std::optional<std::string> value = environment_text("TMPDIR");
  if (!value || value->empty()) return "/tmp";
  return *value;
}

}  // namespace trovik
