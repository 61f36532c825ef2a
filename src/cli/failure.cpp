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

int report_failure(const Status& status) {
  if (status.ok()) return kExitOk;
  print_error_line(status.message());
  return status.kind() == ErrorKind::kValueError ? kExitUsage : kExitFailure;
}

int report_usage_failure(std::string_view message) {
  print_error_line(message);
  return kExitUsage;
}

}  // namespace trovik::cli
