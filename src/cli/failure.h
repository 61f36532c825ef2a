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

}  // namespace trovik::cli
