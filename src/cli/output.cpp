#include "cli/output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "json/writer.h"
#include "util/environment.h"

namespace trovik::cli {

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

void write_out(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void write_json_document(const json::Value& value) {
  std::string text;
  json::write_json(value, text);
  text += '\n';
  write_out(text);
}

}  // namespace trovik::cli
