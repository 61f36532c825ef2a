#include "git/large_files.h"

#include <sys/stat.h>

#include <cstdio>

#include "git/recorded_names.h"
#include "util/path.h"

namespace trovik::git {
namespace {

bool needs_quoting(const std::string& path) {
  for (const unsigned char c : path) {
    if (c < 0x20 || c == 0x7f || c == '"' || c == '\\') return true;
  }
  return false;
}

// C-style quoting with octal escapes for other control characters, as git prints such names.
std::string quoted(const std::string& path) {
  if (!needs_quoting(path)) return path;
  std::string text = "\"";
  for (const unsigned char c : path) {
    switch (c) {
      case '"':
        text += "\\\"";
        break;
      case '\\':
        text += "\\\\";
        break;
      case '\n':
        text += "\\n";
        break;
      case '\t':
        text += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char escape[5];
          (void)std::snprintf(escape, sizeof escape, "\\%03o", c);
          text += escape;
        } else {
          text += static_cast<char>(c);
        }
    }
  }
  return text + "\"";
}

}  // namespace

std::vector<LargeFile> large_files(const std::vector<std::string>& paths,
                                   const std::string& top_level) {
  std::vector<LargeFile> large;
  for (const std::string& path : paths) {
    struct stat info {};
    if (::lstat(join_path(top_level, path).c_str(), &info) != 0) continue;
    if (!S_ISREG(info.st_mode)) continue;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > kLargeFileBytes) large.push_back({path, size});
  }
  return large;
}

std::string snapshot_message(const std::string& run_id, const std::vector<LargeFile>& left_out) {
  std::string message = snapshot_subject(run_id);
  if (left_out.empty()) return message;
  message += "\n";
  for (const LargeFile& file : left_out) {
    message += "\nleft out: " + quoted(file.path) + " (" + std::to_string(file.size) + " bytes)";
  }
  return message;
}

}  // namespace trovik::git
