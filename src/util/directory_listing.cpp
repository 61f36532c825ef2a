#include "util/directory_listing.h"

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <memory>
#include <string_view>

#include "util/file_io.h"
#include "util/os_error.h"

namespace trovik {
namespace {

struct CloseDirectory {
  void operator()(DIR* stream) const { ::closedir(stream); }
};
using DirectoryStream = std::unique_ptr<DIR, CloseDirectory>;

}  // namespace

Result<std::vector<std::string>> directory_names(const std::string& path) {
  Result<ScopedFd> fd = open_file(path, O_RDONLY | O_DIRECTORY);
  if (!fd.ok()) return std::move(fd).status();
  // The stream owns the descriptor from here on, and closes it with itself.
  DirectoryStream stream(::fdopendir(fd.value().get()));
  if (!stream) return os_error(errno);
  fd.value().release();

  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(stream.get());
    if (entry == nullptr) break;
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  if (errno != 0) return os_error(errno);
  return names;
}

}  // namespace trovik
