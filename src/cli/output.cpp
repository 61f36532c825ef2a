#include "cli/output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "json/writer.h"
#include "util/environment.h"
#include "util/file_io.h"
#include "util/unicode.h"

namespace trovik::cli {
namespace {

// The first failed write's status; the command is single-threaded where it writes.
Status& output_failure() {
  static Status failure;
  return failure;
}

}  // namespace

Terminal stdout_terminal() {
  Terminal terminal;
  terminal.is_terminal = ::isatty(STDOUT_FILENO) == 1;
  if (!terminal.is_terminal) return terminal;
  struct winsize size {};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    terminal.width = size.ws_col;
  } else if (std::optional<std::string> columns = environment_text("COLUMNS")) {
    terminal.width = std::strtoul(columns->c_str(), nullptr, 10);
  }
  if (terminal.width == 0) terminal.width = 80;
  terminal.colour = std::getenv("NO_COLOR") == nullptr;
  return terminal;
}

void write_out(std::string_view text) {
  Status& failure = output_failure();
  if (!failure.ok() || text.empty()) return;
  if (Status written = write_all(STDOUT_FILENO, text); !written.ok()) {
    failure = Status::OSError("write failure on standard output: " + written.message());
  }
}

void write_out_utf8(std::string_view text) {
  if (is_valid_utf8(text)) {
    write_out(text);
  } else {
    // JSON and CSV syntax is ASCII: invalid bytes only occur inside strings, where U+FFFD is text.
    write_out(decode_utf8_lossy(text));
  }
}

void write_json_document(const json::Value& value) {
  std::string text;
  json::write_json(value, text);
  text += '\n';
  write_out_utf8(text);
}

Status standard_output_status() { return output_failure(); }

}  // namespace trovik::cli
