#pragma once

#include <string>

#include "util/status.h"

namespace trovik::git {

// Copies the index file `from` byte for byte into a new file `to` (which must not exist yet) and
// gives the copy the original's modification time. git trusts an entry's stat data only when the
// file was modified before the index was written, so a copy with a later time would make it trust
// entries that were edited in the same second as the original was written. `from` is only read:
// no lock is taken, as git replaces an index by renaming, never by rewriting it in place.
Status copy_index_keeping_mtime(const std::string& from, const std::string& to);

}  // namespace trovik::git
