#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trovik::run {

// The system a process runs on; each fact absent when it can't be read.
struct PlatformFacts {
  std::optional<std::string> kernel;        // uname's release: "6.1.0-18-amd64"
  std::optional<std::string> libc;          // the C library and its version: "glibc 2.36"
  std::optional<std::string> distribution;  // os-release's PRETTY_NAME
};
PlatformFacts platform_facts();

// PRETTY_NAME of an os-release file's text (shell-style assignments, the value possibly quoted).
std::optional<std::string> os_release_pretty_name(std::string_view os_release);

}  // namespace trovik::run
