#pragma once

#include <cstddef>
#include <string_view>

#include "json/value.h"

namespace trovik::cli {

// Where the command's standard output goes, and how it may be dressed.
struct Terminal {
  bool is_terminal = false;
  size_t width = 0;     // columns to fit; 0 when not a terminal (no limit)
  bool colour = false;  // only on a terminal, and never when NO_COLOR is set
};
Terminal stdout_terminal();

void write_out(std::string_view text);
// One JSON document and a line feed.
void write_json_document(const json::Value& value);

}  // namespace trovik::cli
