#include "run/platform_facts.h"

#include <sys/utsname.h>
#include <unistd.h>

#include "util/file_io.h"
#include "util/unicode.h"

namespace trovik::run {
namespace {

constexpr size_t kOsReleaseLimit = size_t{64} * 1024;

// A value as the shell would read it: inside double quotes a backslash keeps the next '"', '\',
// '$' or '`'; inside single quotes nothing is special.
std::string unquoted(std::string_view value) {
  std::string text;
  char quote = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (quote == 0 && (c == '"' || c == '\'')) {
      quote = c;
    } else if (quote != 0 && c == quote) {
      quote = 0;
    } else if (quote != '\'' && c == '\\' && i + 1 < value.size()) {
      text.push_back(value[++i]);
    } else {
      text.push_back(c);
    }
  }
  return text;
}

std::optional<std::string> kernel_release() {
  utsname names{};
  if (::uname(&names) != 0) return std::nullopt;
  return decode_utf8_lossy(names.release);
}

// "glibc 2.36"; other C libraries (musl) have no such name to ask for.
std::optional<std::string> c_library() {
#ifdef _CS_GNU_LIBC_VERSION
  char text[128];
  const size_t length = ::confstr(_CS_GNU_LIBC_VERSION, text, sizeof text);
  if (length == 0 || length > sizeof text) return std::nullopt;
  return decode_utf8_lossy(text);
#else
  return std::nullopt;
#endif
}

std::optional<std::string> distribution_name() {
  // The second is where the file lives when /etc holds only a link to it, or nothing.
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    Result<std::string> text = read_file_head(path, kOsReleaseLimit);
    if (text.ok()) return os_release_pretty_name(decode_utf8_lossy(text.value()));
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> os_release_pretty_name(std::string_view os_release) {
  constexpr std::string_view kKey = "PRETTY_NAME=";
  std::optional<std::string> found;
  while (!os_release.empty()) {
    const size_t end = os_release.find('\n');
    const std::string_view line = os_release.substr(0, end);
    os_release.remove_prefix(end == std::string_view::npos ? os_release.size() : end + 1);
    // The last assignment wins, as it would in a shell that sources the file.
    if (line.substr(0, kKey.size()) == kKey) found = unquoted(line.substr(kKey.size()));
  }
  return found;
}

PlatformFacts platform_facts() {
  return PlatformFacts{kernel_release(), c_library(), distribution_name()};
}

}  // namespace trovik::run
