#include "util/path.h"

#include <stdlib.h>

#include <memory>

#include "util/unicode.h"

namespace trovik {

std::string join_path(std::string_view directory, std::string_view name) {
  std::string joined(directory);
  if (!joined.empty() && joined.back() != '/') joined += '/';
  joined += name;
  return joined;
}

std::optional<std::string> real_path(const std::string& path) {
  const std::unique_ptr<char, decltype(&::free)> resolved(::realpath(path.c_str(), nullptr),
                                                          &::free);
  if (!resolved) return std::nullopt;
  return decode_utf8_lossy(resolved.get());
}

}  // namespace trovik
