#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trovik::git {

// Untracked files above this size stay out of snapshots: hosting services warn about files over
// 50 MiB, and a checkpoint or data set would otherwise cost seconds per run and its size in .git.
inline constexpr std::uint64_t kLargeFileBytes = std::uint64_t{50} << 20;

struct LargeFile {
  std::string path;  // relative to the top level
  std::uint64_t size;
};

// The regular files among `paths` (relative to `top_level`) larger than kLargeFileBytes, in the
// given order. Files that cannot be examined are not counted as large.
std::vector<LargeFile> large_files(const std::vector<std::string>& paths,
                                   const std::string& top_level);

// The snapshot commit's message: its one line, then, when files were left out, a blank line and
// one line per file with its size. Names with control characters, quotes or backslashes are
// quoted as git quotes them, so each file stays on its own line.
std::string snapshot_message(const std::string& run_id, const std::vector<LargeFile>& left_out);

}  // namespace trovik::git
