#include "cli/failure.h"

#include <cstdio>
#include <string>

namespace trovik::cli {
namespace {

void print_error_line(std::string_view message) {
  std::string line = "trovik: ";
  line += message;
  line += '\n';
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stderr);
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

int report_usage_failure(std::string_view message) {
  print_error_line(message);
  return kExitUsage;
}

}  // namespace trovik::cli
