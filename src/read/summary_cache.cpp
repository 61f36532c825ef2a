#include "read/summary_cache.h"

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "read/byte_hash.h"
#include "read/run_follower.h"
#include "read/run_state_codec.h"
#include "read/summary_cache_file.h"
#include "read/thread_start.h"
#include "util/atomic_file.h"
#include "util/environment.h"
#include "util/file_io.h"
#include "util/path.h"
#include "util/system_calls.h"

namespace trovik::read {
namespace {

// The runs of one folder are spread over this many cache files by the hash of their file names:
// a listing opens a few files rather than one per run, and a run that grew rewrites only its
// share of the folder's states.
constexpr uint64_t kFilesPerFolder = 64;

// The runs whose states share one cache file.
struct CacheShard {
  std::string path;
  std::vector<size_t> members;  // positions in the entries
};

std::string hex(uint64_t value, int digits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4)
    text[static_cast<size_t>(i)] = kDigits[value & 15];
  return text;
}

// The cache files of the entries' folders. With `every_file`, also those that hold none of the
// entries (for a complete listing, whatever they hold is of runs that are gone).
std::vector<CacheShard> plan_shards(const std::vector<RunFileEntry>& entries,
                                    const std::string& directory, bool every_file) {
  std::vector<CacheShard> shards;
  std::unordered_map<std::string, size_t> by_name;
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string_view path = entries[i].path;
    const size_t slash = path.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? "." : path.substr(0, slash);
    const std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::string prefix = hex(byte_hash(folder), 16) + "-";
    if (every_file && !by_name.contains(prefix + "00")) {
      for (uint64_t n = 0; n < kFilesPerFolder; ++n) {
        by_name.emplace(prefix + hex(n, 2), shards.size());
        shards.push_back({join_path(directory, prefix + hex(n, 2)), {}});
      }
    }
    std::string name = prefix + hex(byte_hash(file) % kFilesPerFolder, 2);
    auto [found, added] = by_name.emplace(std::move(name), shards.size());
    if (added) shards.push_back({join_path(directory, found->first), {}});
    shards[found->second].members.push_back(i);
  }
  return shards;
}

// The whole cache file, or nothing when it can't be read.
std::string read_cache_file(const std::string& path) {
  Result<std::string> bytes = read_file_head(path, std::numeric_limits<uint32_t>::max());
  return bytes.ok() ? std::move(bytes).value() : std::string();
}

// Makes the cache directory and those above it that are missing, for this user alone.
bool make_private_directory(const std::string& path) {
  if (sys_mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return true;
  if (errno != ENOENT) return false;
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  if (!make_private_directory(path.substr(0, slash))) return false;
  return sys_mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// What a run's reading leaves for the cache.
struct Reading {
  Result<RunSummary> summary;
  bool unchanged = false;  // the cached state holds as it is
  std::string state;       // else the new state to keep, if any
};

// The run's summary from its cached state where that still describes the file, else read on from
// it or from the start.
Reading read_with_cache(const RunFileEntry& entry, std::optional<std::string_view> cached) {
  std::optional<RunFollowerState> state;
  if (cached) {
    Result<RunFollowerState> decoded = decode_run_state(*cached);
    if (decoded.ok() && decoded.value().summary.detail == Detail::kSummary &&
        decoded.value().summary.summary.path == entry.path) {
      state = std::move(decoded).value();
    }
  }
  if (state && state->position.identity == entry.identity) {
    return {std::move(state->summary.summary), true, {}};
  }
  const bool grew = state && state->position.identity.device == entry.identity.device &&
                    state->position.identity.inode == entry.identity.inode &&
                    entry.identity.size > state->position.identity.size;
  if (!grew) {
    state.emplace();
    state->summary.detail = Detail::kSummary;
  }
  RunFollower follower(entry.path, std::move(*state));
  Result<RunChange> refreshed = follower.refresh();
  if (!refreshed.ok()) return {std::move(refreshed).status(), false, {}};
  RunFollowerState now = follower.state();
  std::string encoded = encode_run_state(now);
  return {std::move(now.summary.summary), false, std::move(encoded)};
}

void read_shard(const CacheShard& shard, const std::vector<RunFileEntry>& entries,
                bool complete_listing, const RunConsumer& consume) {
  const std::string bytes = read_cache_file(shard.path);
  std::unordered_map<std::string_view, std::string_view> cached;
  for (const CachedState& state : cache_file_entries(bytes)) cached[state.path] = state.state;

  std::string kept;
  begin_cache_file(kept);
  bool changed = false;
  std::unordered_set<std::string_view> asked;
  for (size_t i : shard.members) {
    const std::string& path = entries[i].path;
    if (!asked.insert(path).second) continue;  // named twice: read once, kept once
    auto found = cached.find(path);
    Reading reading = read_with_cache(
        entries[i], found == cached.end() ? std::nullopt : std::optional(found->second));
    if (reading.unchanged) {
      append_cache_entry(path, found->second, kept);
    } else {
      changed = true;
      if (!reading.state.empty() && reading.state.size() <= std::numeric_limits<uint32_t>::max()) {
        append_cache_entry(path, reading.state, kept);
      }
    }
    consume(i, std::move(reading.summary));
  }
  for (const auto& [path, state] : cached) {
    if (asked.contains(path)) continue;
    if (complete_listing) {
      changed = true;  // its file is gone
    } else {
      append_cache_entry(path, state, kept);
    }
  }
  // A cache that can't be written is only a slower next reading; one that a crash cut short
  // fails its checks. So it is not flushed to disk.
  if (changed) (void)write_file_atomically(shard.path, kept, false);
}

}  // namespace

std::optional<std::string> summary_cache_directory() {
  if (std::optional<std::string> cache = environment_text("XDG_CACHE_HOME")) {
    if (cache->starts_with('/')) return join_path(*cache, "trovik");
  }
  if (std::optional<std::string> home = environment_text("HOME")) {
    if (home->starts_with('/')) return join_path(join_path(*home, ".cache"), "trovik");
  }
  return std::nullopt;
}

void read_run_summaries(const std::vector<RunFileEntry>& entries, const SummaryCacheUse& cache,
                        unsigned threads, const RunConsumer& consume) {
  if (!cache.directory) {
    std::vector<std::string> paths;
    paths.reserve(entries.size());
    for (const RunFileEntry& entry : entries) paths.push_back(entry.path);
    read_run_files(paths, Detail::kSummary, threads, consume);
    return;
  }
  (void)make_private_directory(*cache.directory);
  const std::vector<CacheShard> shards =
      plan_shards(entries, *cache.directory, cache.complete_listing);
  std::atomic<size_t> next{0};
  std::mutex handing_over;
  const RunConsumer one_at_a_time = [&](size_t index, Result<RunSummary>&& run) {
    const std::lock_guard<std::mutex> lock(handing_over);
    consume(index, std::move(run));
  };
  auto work = [&] {
    for (size_t s = next.fetch_add(1); s < shards.size(); s = next.fetch_add(1)) {
      read_shard(shards[s], entries, cache.complete_listing, one_at_a_time);
    }
  };
  std::vector<std::jthread> helpers;
  for (unsigned t = 1; t < threads && t < shards.size(); ++t) {
    if (!start_thread(helpers, work)) break;
  }
  work();
}

}  // namespace trovik::read
