#include "util/atomic_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
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

// As many links as the kernel follows in one path before it says ELOOP.
constexpr int kMostLinksFollowed = 40;

std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

const char* kind_of_file(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

}  // namespace

Result<std::string> file_to_replace(const std::string& path) {
  std::string target = path;
  for (int followed = 0;; ++followed) {
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0) {
      if (errno == ENOENT) return target;  // a new file, made where the path (or link) says
      return os_error(errno);
    }
    if (S_ISREG(info.st_mode)) return target;
    if (!S_ISLNK(info.st_mode)) {
      return Status::ValueError(std::string("it is ") + kind_of_file(info.st_mode) +
                                ", not a regular file: nothing was written");
    }
    if (followed == kMostLinksFollowed) return os_error(ELOOP);
    char link[PATH_MAX];
    const ssize_t size = ::readlink(target.c_str(), link, sizeof link);
    if (size < 0) return os_error(errno);
    if (static_cast<size_t>(size) == sizeof link) return os_error(ENAMETOOLONG);
    const std::string_view points_to(link, static_cast<size_t>(size));
    // A relative link is read from the directory that holds it.
    target = points_to.starts_with('/') ? std::string(points_to)
                                        : directory_of(target).append(points_to);
  }
}

Status write_file_atomically(const std::string& requested_path, std::string_view content,
                             bool durable) {
  Result<std::string> replaced = file_to_replace(requested_path);
  if (!replaced.ok()) return std::move(replaced).status();
  const std::string& path = replaced.value();
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
