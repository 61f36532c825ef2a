#include "cli/failure.h"

#include <cstdio>
#include <string>

#include "util/quote.h"

namespace trovik::cli {
namespace {

// Messages name runs, paths and what git said: text from elsewhere, quoted so that it stays one
// line and cannot command the terminal.
void print_error_line(std::string_view message) {
  std::string line = "trovik: ";
  append_terminal_quoted(line, message);
  line += '\n';
  (void)std::fflush(stdout);
  (void)std::fwrite(line.data(), 1, line.size(), stderr);
}

// Whether a warning was printed; the command is single-threaded where it reports.
bool& warned() {
  static bool any = false;
  return any;
}

}  // namespace

int exit_status(const Status& status) {
  if (status.ok()) return kExitOk;
  switch (status.kind()) {
    case ErrorKind::kValueError:
    case ErrorKind::kNotFound:
      return kExitUsage;
    default:
      return kExitFailure;
  }
}

int report_failure(const Status& status) {
  if (status.ok()) return kExitOk;
  if (status.kind() == ErrorKind::kInternalFault) {
    print_error_line("internal error: " + status.message());
  } else {
    print_error_line(status.message());
  }
  return exit_status(status);
}

void report_warning(std::string_view message) {
  warned() = true;
  print_error_line("warning: " + std::string(message));
}

int exit_status_after(const Status& status) {
  const int code = report_failure(status);
  return code == kExitOk && warned() ? kExitFailure : code;
}

int report_usage_failure(std::string_view message) {
  print_error_line(message);
  return kExitUsage;
}

}  // namespace trovik::cli
