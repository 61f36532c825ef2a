#include "run/root_ignore_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "util/file_io.h"
#include "util/path.h"

namespace trovik::run {
namespace {

constexpr std::string_view kContent = "# Created by trovik: run files stay out of git.\n*\n";

}  // namespace

RootIgnoreFile::RootIgnoreFile(std::string root_directory)
    : root_directory_(std::move(root_directory)) {
  struct stat info {};
  missing_ =
      !root_directory_.empty() && ::stat(root_directory_.c_str(), &info) != 0 && errno == ENOENT;
}

void RootIgnoreFile::write_if_created() const {
  if (!missing_) return;
  // Exclusive: of two runs creating the root at once, one writes it and the other leaves it.
  Result<ScopedFd> file =
      open_file(join_path(root_directory_, ".gitignore"), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (!file.ok()) return;
  (void)write_all(file.value().get(), kContent);
}

}  // namespace trovik::run
