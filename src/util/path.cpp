#include "util/path.h"

#include <stdlib.h>

#include <memory>
#include <optional>

#include "util/unicode.h"
#include "util/working_directory.h"

namespace trovik {

std::string join_path(std::string_view directory, std::string_view name) {
  std::string joined(directory);
  if (!joined.empty() && joined.back() != '/') joined += '/';
  joined += name;
  return joined;
}

std::string absolute_path(std::string_view path) {
  if (!path.empty() && path.front() == '/') return std::string(path);
  std::optional<std::string> directory = working_directory();
  if (!directory) return std::string(path);
  return join_path(*directory, path);
}

std::optional<std::string> real_path(const std::string& path) {
  const std::unique_ptr<char, decltype(&::free)> resolved(::realpath(path.c_str(), nullptr),
                                                          &::free);
  if (!resolved) return std::nullopt;
  return decode_utf8_lossy(resolved.get());
}

}  // namespace trovik
