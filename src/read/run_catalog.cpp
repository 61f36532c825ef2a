#include "read/run_catalog.h"

#include <sys/stat.h>

#include <algorithm>
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
    if (std::optional<int64_t> ns = parse_timestamp(*created)) entry.started_ns = *ns;
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
  entry.identity = identity_of(info);
  entry.path = std::move(path);
  if (read_first_lines) read_first_line(entry);
  return entry;
}

}  // namespace

std::vector<RunFileEntry> list_run_files(const std::vector<std::string>& roots,
                                         bool read_first_lines) {
  std::vector<RunFileEntry> entries;
  std::set<std::pair<dev_t, ino_t>> seen;
  for (const std::string& root : roots) {
    const std::string runs = join_path(root, "runs");
    Result<std::vector<DirectoryEntry>> listed = list_directory(runs);
    if (!listed.ok()) continue;
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
  std::stable_sort(
      entries.begin(), entries.end(),
      [](const RunFileEntry& a, const RunFileEntry& b) { return a.started_ns > b.started_ns; });
  return entries;
}

Result<RunFileEntry> run_file_entry(const std::string& path) {
  std::optional<RunFileEntry> entry = file_entry(path, nullptr, true);
  if (!entry) return Status::OSError("not a readable run file: " + path);
  return std::move(*entry);
}

}  // namespace trovik::read
