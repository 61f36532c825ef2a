#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trovik::read {

// One file of the summary cache: run states (run_state_codec.h) keyed by the path of their run
// file. The layout only frames the entries; each state carries its own version and checksum, so a
// damaged entry is found when it is decoded.
inline constexpr uint32_t kSummaryCacheFileVersion = 1;

struct CachedState {
  std::string_view path;
  std::string_view state;
};

// Appends the file's header, then one entry at a time.
void begin_cache_file(std::string& out);
void append_cache_entry(std::string_view path, std::string_view state, std::string& out);

// The entries of a cache file, views of `bytes`. A file of another kind or version has none; one
// cut short or damaged in its framing has those before the damage.
std::vector<CachedState> cache_file_entries(std::string_view bytes);

}  // namespace trovik::read
