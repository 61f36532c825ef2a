#pragma once

#include <string_view>

#include "util/status.h"

namespace trovik::cli {

// The command's exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A usage error or a run that cannot be named: exit status 2. Every other failure exits with 1.
inline Status usage_error(std::string message) { return Status::ValueError(std::move(message)); }

// The one place where a failure meets the user: "trovik: <message>" on standard error, and the
// exit status it calls for.
int report_failure(const Status& status);
int report_usage_failure(std::string_view message);

}  // namespace trovik::cli
