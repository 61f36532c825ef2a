#include "util/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "util/file_io.h"
#include "util/os_error.h"
#include "util/random_bytes.h"
#include "util/scoped_fd.h"
#include "util/system_calls.h"

namespace trovik {
namespace {

// The temporary file sits in the target's directory, so the final rename never crosses file
// systems; the leading dot keeps it out of listings while it exists.
Result<std::string> temporary_path_beside(const std::string& path) {
  Result<std::string> suffix = random_hex(16);
  if (!suffix.ok()) return std::move(suffix).status();
  const size_t slash = path.rfind('/');
  const size_t name_at = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(0, name_at) + "." + path.substr(name_at) + "." + suffix.value() + ".tmp";
}

// Removes the temporary file unless the rename has taken it over.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!path_.empty()) (void)::unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }
  void keep() { path_.clear(); }

 private:
  std::string path_;
};

}  // namespace

Status write_file_atomically(const std::string& path, std::string_view content, bool durable) {
  Result<std::string> temporary_path = temporary_path_beside(path);
  if (!temporary_path.ok()) return std::move(temporary_path).status();
  TemporaryFile temporary(std::move(temporary_path).value());
  // O_EXCL: never write through a file or link someone else put under that name.
  Result<ScopedFd> opened = open_file(temporary.path(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (!opened.ok()) return std::move(opened).status();
  ScopedFd file = std::move(opened).value();

  if (Status written = write_all(file.get(), content); !written.ok()) return written;
  // On disk before the rename, so that a crash cannot leave an empty file under the final name.
  if (durable && sys_fsync(file.get()) != 0) return os_error(errno);
  // A failed close may be the first report of a failed write-back on some file systems.
  if (sys_close(file.release()) != 0) return os_error(errno);
  if (sys_rename(temporary.path().c_str(), path.c_str()) != 0) return os_error(errno);
  temporary.keep();
  return Status::Ok();
}

}  // namespace trovik
