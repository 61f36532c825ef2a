#pragma once

#include <string>

namespace trovik::git {

// Removes a file when it goes out of scope, whether or not the file was ever created. A failure to
// remove it is ignored: nothing reads the file afterwards, and its name is never reused.
class ScopedFileRemoval {
 public:
  explicit ScopedFileRemoval(std::string path);
  ScopedFileRemoval(const ScopedFileRemoval&) = delete;
  ScopedFileRemoval& operator=(const ScopedFileRemoval&) = delete;
  ~ScopedFileRemoval();

 private:
  std::string path_;
};

}  // namespace trovik::git
