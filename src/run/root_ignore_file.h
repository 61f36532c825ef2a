#pragma once

#include <string>

namespace trovik::run {

// Remembers whether the root directory is about to be created, so that once it is, it can ignore
// itself: earlier run files then neither make a work tree dirty nor enter snapshots, and checking
// out a snapshot branch does not collide with them. A root directory that already existed, and
// the working directory (an empty root), are never given one.
class RootIgnoreFile {
 public:
  explicit RootIgnoreFile(std::string root_directory);

  // Writes "<root>/.gitignore" when the root directory did not exist at construction. A failure
  // is ignored: the file only spares later runs work.
  void write_if_created() const;

 private:
  std::string root_directory_;
  bool missing_;
};

}  // namespace trovik::run
