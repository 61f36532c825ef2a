#pragma once

#include <cstddef>
#include <string_view>

#include "json/value.h"
#include "util/status.h"

namespace trovik::cli {

// Where the command's standard output goes, and how it may be dressed.
struct Terminal {
  bool is_terminal = false;
  size_t width = 0;     // columns to fit; 0 when not a terminal (no limit)
  bool colour = false;  // only on a terminal, and never when NO_COLOR is set
};
Terminal stdout_terminal();

// Writes to standard output at once, without a buffer in between. After a failed write nothing
// more is written: the failure is kept for standard_output_status, which every command ends with.
void write_out(std::string_view text);
// One JSON document and a line feed.
void write_json_document(const json::Value& value);
// Data for other programs (JSON, CSV): always valid UTF-8, each byte of a run file's text that is
// not part of a UTF-8 sequence replaced by U+FFFD, so a strict parser never fails on it.
void write_out_utf8(std::string_view text);

// Ok while every write to standard output has succeeded; else "write failure on standard output:
// <the system's text>" (an OSError), so that a full disk or a closed pipe is not a silent success.
Status standard_output_status();

}  // namespace trovik::cli
