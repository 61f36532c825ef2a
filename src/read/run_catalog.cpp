#include "read/run_catalog.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <string_view>
#include <utility>

#include "json/reader.h"
#include "read/line_reader.h"
#include "read/timestamp.h"
#include "util/directory_listing.h"
#include "util/path.h"

namespace trovik::read {
namespace {

constexpr std::string_view kRunFileSuffix = ".jsonl";

std::string file_stem(std::string_view path) {
  if (const size_t slash = path.rfind('/'); slash != std::string_view::npos) {
    path.remove_prefix(slash + 1);
  }
  if (path.ends_with(kRunFileSuffix)) path.remove_suffix(kRunFileSuffix.size());
  return std::string(path);
}

// Fills in what the first line says; a file that cannot be read keeps its file facts.
void read_first_line(RunFileEntry& entry) {
  Result<LineReader> reader = LineReader::open(entry.path);
  if (!reader.ok()) {
    entry.readable = false;
    return;
  }
  std::string first;
  const Status read = reader.value().read_available([&](std::string_view line) {
    first = line;
    return false;
  });
  if (!read.ok()) {
    entry.readable = false;
    return;
  }
  Result<json::Value> record = json::read_json(first);
  if (!record.ok() || record.value().type() != json::Value::Type::kObject) return;
  const json::Object& object = record.value().as_object();
  const json::Value* kind = object.find("kind");
  if (kind == nullptr || kind->type() != json::Value::Type::kString ||
      kind->as_string() != "run_start") {
    return;
  }
  auto text = [&](std::string_view key) -> const std::string* {
    const json::Value* member = object.find(key);
    return member != nullptr && member->type() == json::Value::Type::kString ? &member->as_string()
                                                                             : nullptr;
  };
  if (const std::string* id = text("run_id")) entry.run_id = *id;
  if (const std::string* name = text("experiment_name")) entry.name = *name;
  const std::string* created = text("created_at");
  if (created != nullptr) {
    if (std::optional<int64_t> ns = parse_timestamp(*created)) {
      entry.started_ns = *ns;
      entry.start_recorded = true;
    }
  }
  if (const json::Value* value = object.find("value")) {
    entry.process = recorded_process(*value, created != nullptr ? *created : "");
  }
}

std::optional<RunFileEntry> file_entry(std::string path, std::set<std::pair<dev_t, ino_t>>* seen,
                                       bool read_first_lines) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  if (seen != nullptr && !seen->insert({info.st_dev, info.st_ino}).second) return std::nullopt;
  RunFileEntry entry;
  entry.run_id = file_stem(path);
  entry.started_ns =
      static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  entry.size = static_cast<uint64_t>(info.st_size);
  entry.identity = identity_of(info);
  entry.path = std::move(path);
  if (read_first_lines) read_first_line(entry);
  return entry;
}

// Keeps one entry per run id, the longest copy (the first found of equal ones), in the order of
// the first copy; the others are named in its other_paths.
void keep_one_file_per_run(std::vector<RunFileEntry>& entries) {
  std::map<std::string, size_t, std::less<>> kept;
  std::vector<RunFileEntry> unique;
  for (RunFileEntry& entry : entries) {
    auto [found, added] = kept.emplace(entry.run_id, unique.size());
    if (added) {
      unique.push_back(std::move(entry));
      continue;
    }
    RunFileEntry& first = unique[found->second];
    if (entry.size > first.size) {
      entry.other_paths = std::move(first.other_paths);
      entry.other_paths.push_back(std::move(first.path));
      first = std::move(entry);
    } else {
      first.other_paths.push_back(std::move(entry.path));
    }
  }
  entries = std::move(unique);
}

}  // namespace

std::vector<RunFileEntry> list_run_files(const std::vector<std::string>& roots,
                                         bool read_first_lines, std::vector<Status>* unreadable) {
  std::vector<RunFileEntry> entries;
  std::set<std::pair<dev_t, ino_t>> seen;
  for (const std::string& root : roots) {
    const std::string runs = join_path(root, "runs");
    Result<std::vector<DirectoryEntry>> listed = list_directory(runs);
    if (!listed.ok()) {
      struct stat info {};
      const bool absent = ::stat(runs.c_str(), &info) != 0 && errno == ENOENT;
      if (unreadable != nullptr && !absent) {
        unreadable->push_back(
            Status::OSError("cannot read " + runs + ": " + listed.status().message()));
      }
      continue;
    }
    std::vector<std::string> names;
    for (DirectoryEntry& entry : listed.value()) {
      if (entry.name.size() > kRunFileSuffix.size() && entry.name.ends_with(kRunFileSuffix)) {
        names.push_back(std::move(entry.name));
      }
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      if (std::optional<RunFileEntry> entry =
              file_entry(join_path(runs, name), &seen, read_first_lines)) {
        entries.push_back(std::move(*entry));
      }
    }
  }
  keep_one_file_per_run(entries);
  std::stable_sort(entries.begin(), entries.end(),
                   [](const RunFileEntry& a, const RunFileEntry& b) {
                     if (a.start_recorded != b.start_recorded) return a.start_recorded;
                     return a.started_ns > b.started_ns;
                   });
  return entries;
}

Result<RunFileEntry> run_file_entry(const std::string& path) {
  std::optional<RunFileEntry> entry = file_entry(path, nullptr, true);
  if (!entry) return Status::OSError("not a readable run file: " + path);
  return std::move(*entry);
}

}  // namespace trovik::read
