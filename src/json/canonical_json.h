#pragma once

#include <string>
#include <string_view>

#include "util/status.h"

namespace trovik::json {

// Appends to `out` exactly the bytes write_json(read_json(text)) would append, without building
// the value: scalars are written as they are read, and each object is put in key order (the last
// of equal keys winning) when it closes. A failure is read_json's error for the same text, and
// leaves `out` as it was.
Status write_canonical_json(std::string_view text, std::string& out);

}  // namespace trovik::json
