#include "util/path.h"

namespace trovik {

std::string join_path(std::string_view directory, std::string_view name) {
  std::string joined(directory);
  if (!joined.empty() && joined.back() != '/') joined += '/';
  joined += name;
  return joined;
}

}  // namespace trovik
