#include "git/scoped_file_removal.h"

#include <unistd.h>

#include <utility>

namespace trovik::git {

ScopedFileRemoval::ScopedFileRemoval(std::string path) : path_(std::move(path)) {}

ScopedFileRemoval::~ScopedFileRemoval() { (void)::unlink(path_.c_str()); }

}  // namespace trovik::git
