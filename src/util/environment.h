#pragma once

#include <optional>
#include <string>

namespace trovik {

// The value of an environment variable, used only when the whole value is valid UTF-8: a variable
// that is unset or holds other bytes counts as unset. An empty value is a value.
std::optional<std::string> environment_text(const char* name);

// The module's root directory: TROVIK_DIR when it qualifies (even empty), else ".trovik". Never
// made absolute. Run creation and the snapshot each read it afresh.
std::string trovik_root_directory();

// The system temporary directory: TMPDIR when it qualifies, else "/tmp". An empty TMPDIR counts as
// unset, as it does for Python's tempfile: it would put the snapshot's private index into the work
// tree being snapshotted.
std::string temporary_directory();

}  // namespace trovik
