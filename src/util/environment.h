#pragma once

#include <optional>
#include <string>

namespace trovik {

// The value of an environment variable, used only when the whole value is valid UTF-8: a variable
// that is unset or holds other bytes counts as unset. An empty value is a value.
std::optional<std::string> environment_text(const char* name);

}  // namespace trovik
