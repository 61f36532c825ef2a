#include "git/command_runner.h"

#include <sys/wait.h>

#include "git/child_process.h"
#include "git/environment_block.h"
#include "util/unicode.h"

namespace trovik::git {
namespace {

// Every failure (no such program, no descriptors or processes left, a read or wait error, a
// non-zero exit, a signal) collapses into absent: callers only need to know whether they got an
// answer. Nothing escapes as an exception, not even an allocation failure.
// A child that misses its deadline is killed by its destructor.
std::optional<std::string> run_child(const std::string& program,
                                     const std::vector<std::string>& arguments,
                                     const EnvironmentOverrides* overrides,
                                     std::optional<ChildProcess::Deadline> deadline) noexcept {
  try {
    std::vector<std::string> environment;
    if (overrides != nullptr) {
      environment = environment_with_overrides(inherited_environment(), *overrides);
    }
    ChildProcess::Options options;
    options.environment = overrides != nullptr ? &environment : nullptr;
    options.own_process_group = deadline.has_value();
    Result<ChildProcess> child = ChildProcess::Spawn(program, arguments, options);
    if (!child.ok()) return std::nullopt;
    std::string output;
    if (!child.value().ReadOutput(&output, deadline).ok()) return std::nullopt;
    Result<int> wait_status = child.value().Wait(deadline);
    if (!wait_status.ok()) return std::nullopt;
    if (!WIFEXITED(wait_status.value()) || WEXITSTATUS(wait_status.value()) != 0) {
      return std::nullopt;
    }
    return output;
  } catch (...) {
    return std::nullopt;
  }
}

OptionalText as_text(const std::optional<std::string>& output) noexcept {
  if (!output) return std::nullopt;
  try {
    const std::string text = decode_utf8_lossy(*output);
    return std::string(trim_trailing_white_space(text));
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace

OptionalText command_output(const std::string& program, const std::vector<std::string>& arguments) {
  return as_text(run_child(program, arguments, nullptr, std::nullopt));
}

OptionalText command_output(const std::string& program, const std::vector<std::string>& arguments,
                            const EnvironmentOverrides& overrides) {
  return as_text(run_child(program, arguments, &overrides, std::nullopt));
}

OptionalText command_output_within(const std::string& program,
                                   const std::vector<std::string>& arguments,
                                   std::chrono::milliseconds limit) {
  return as_text(run_child(program, arguments, nullptr, std::chrono::steady_clock::now() + limit));
}

std::optional<std::string> command_bytes(const std::string& program,
                                         const std::vector<std::string>& arguments,
                                         const EnvironmentOverrides& overrides) {
  return run_child(program, arguments, &overrides, std::nullopt);
}

}  // namespace trovik::git
