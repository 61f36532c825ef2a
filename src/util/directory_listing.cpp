#include "util/directory_listing.h"

#include <dirent.h>
#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "util/file_io.h"
#include "util/os_error.h"

namespace trovik {
namespace {

// Owns a directory stream, and with it the descriptor it was opened from.
class ScopedDirectory {
 public:
  explicit ScopedDirectory(DIR* stream) : stream_(stream) {}
  ScopedDirectory(const ScopedDirectory&) = delete;
  ScopedDirectory& operator=(const ScopedDirectory&) = delete;
  ~ScopedDirectory() {
    if (stream_ != nullptr) (void)::closedir(stream_);
  }
  DIR* get() const { return stream_; }

 private:
  DIR* stream_;
};

DirectoryEntry::Type entry_type(unsigned char type) {
  switch (type) {
    case DT_DIR:
      return DirectoryEntry::Type::kDirectory;
    case DT_REG:
      return DirectoryEntry::Type::kRegularFile;
    case DT_LNK:
      return DirectoryEntry::Type::kSymbolicLink;
    case DT_UNKNOWN:
      return DirectoryEntry::Type::kUnknown;
    default:
      return DirectoryEntry::Type::kOther;
  }
}

}  // namespace

Result<std::vector<DirectoryEntry>> list_directory(const std::string& path) {
  // O_DIRECTORY: a path that names anything else fails here instead of being opened (and a FIFO
  // never blocks the open).
  Result<ScopedFd> opened = open_file(path, O_RDONLY | O_DIRECTORY);
  if (!opened.ok()) return std::move(opened).status();
  DIR* stream = ::fdopendir(opened.value().get());
  if (stream == nullptr) return os_error(errno);
  // The stream owns the descriptor from here on.
  (void)opened.value().release();
  const ScopedDirectory directory(stream);

  std::vector<DirectoryEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(directory.get());
    if (entry == nullptr) {
      if (errno != 0) return os_error(errno);
      return entries;
    }
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    entries.push_back({entry->d_name, entry_type(entry->d_type)});
  }
}

}  // namespace trovik
