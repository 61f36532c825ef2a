#pragma once

#include <string_view>

#include "util/status.h"

namespace trovik::cli {

// The command's exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A usage error, or a run that cannot be named: exit status 2.
inline Status usage_error(std::string message) { return Status::ValueError(std::move(message)); }

// The exit status a command's outcome calls for: 0 on success; 2 for a usage error or something
// named that does not exist (ValueError, NotFound); 1 for every other failure.
int exit_status(const Status& status);

// The one place where a failure meets the user: "trovik: <message>" on standard error (an internal
// fault as "trovik: internal error: <message>"), and the exit status it calls for.
int report_failure(const Status& status);
int report_usage_failure(std::string_view message);

// Something left out on the way, as a run file that could not be read: "trovik: warning: <message>"
// on standard error, and the command, however it ends, exits with status 1 (exit_status_after).
void report_warning(std::string_view message);
// The exit status for a command that ended with `status`, after any warnings.
int exit_status_after(const Status& status);

}  // namespace trovik::cli
