#include "run/installed_packages.h"

#include <algorithm>
#include <set>
#include <utility>

#include "json/reader.h"
#include "util/directory_listing.h"
#include "util/file_io.h"
#include "util/path.h"
#include "util/unicode.h"

namespace trovik::run {
namespace {

// Name and Version open the headers of every metadata file tools write; this much holds them
// with room to spare, and a long description after the headers is never read.
constexpr size_t kMetadataHead = size_t{16} * 1024;
// A direct_url.json is a URL and a few flags.
constexpr size_t kDirectUrlLimit = size_t{64} * 1024;

constexpr std::string_view kDistInfo = ".dist-info";
constexpr std::string_view kEggInfo = ".egg-info";
constexpr std::string_view kEgg = ".egg";

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return ascii_lower(x) == ascii_lower(y);
         });
}

// The name without `suffix` when it ends with it in any case, as importlib.metadata matches.
std::optional<std::string_view> stem(std::string_view name, std::string_view suffix) {
  if (name.size() <= suffix.size() ||
      !equal_ignoring_case(name.substr(name.size() - suffix.size()), suffix)) {
    return std::nullopt;
  }
  return name.substr(0, name.size() - suffix.size());
}

std::string_view trim_ascii_space(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// "<name>-<version>[-<tags>]": how installers name metadata directories; the fallback for a
// header that is missing.
MetadataHeaders headers_from_stem(std::string_view stem) {
  MetadataHeaders headers;
  const size_t dash = stem.find('-');
  headers.name = std::string(stem.substr(0, dash));
  if (dash != std::string_view::npos) {
    const std::string_view rest = stem.substr(dash + 1);
    headers.version = std::string(rest.substr(0, rest.find('-')));
  }
  return headers;
}

std::optional<std::string> read_text(const std::string& path, size_t limit) {
  Result<std::string> bytes = read_file_head(path, limit);
  if (!bytes.ok()) return std::nullopt;
  return decode_utf8_lossy(bytes.value());
}

std::optional<InstalledPackage> package(const std::optional<std::string>& metadata,
                                        std::string_view stem) {
  if (!metadata) return std::nullopt;
  MetadataHeaders headers = metadata_headers(*metadata);
  const MetadataHeaders fallback = headers_from_stem(stem);
  InstalledPackage found;
  found.name = headers.name.value_or(fallback.name.value_or(""));
  found.version = headers.version.value_or(fallback.version.value_or(""));
  if (found.name.empty()) return std::nullopt;
  return found;
}

// Metadata of one kind in `directory` (a sys.path entry) named `name`; absent when `name` is no
// metadata or can't be read.
std::optional<InstalledPackage> distribution(const std::string& directory,
                                             const std::string& name) {
  const std::string path = join_path(directory, name);
  if (const auto dist_info = stem(name, kDistInfo)) {
    std::optional<InstalledPackage> found =
        package(read_text(join_path(path, "METADATA"), kMetadataHead), *dist_info);
    if (found) {
      if (auto direct_url = read_text(join_path(path, "direct_url.json"), kDirectUrlLimit)) {
        found->editable_location = editable_location(*direct_url);
      }
    }
    return found;
  }
  if (const auto egg_info = stem(name, kEggInfo)) {
    // A directory holding PKG-INFO, or (from old installers) the PKG-INFO file itself.
    std::optional<std::string> metadata = read_text(join_path(path, "PKG-INFO"), kMetadataHead);
    if (!metadata) metadata = read_text(path, kMetadataHead);
    return package(metadata, *egg_info);
  }
  return std::nullopt;
}

std::string base_name(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = ascii_lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string percent_decoded(std::string_view text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = hex_digit(text[i + 1]);
      const int low = hex_digit(text[i + 2]);
      if (high >= 0 && low >= 0) {
        bytes.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    bytes.push_back(text[i]);
  }
  return decode_utf8_lossy(bytes);
}

// The local path of a file: URL ("file:///p" or "file://localhost/p"); any other URL as it is.
std::string url_location(std::string_view url) {
  constexpr std::string_view kScheme = "file://";
  if (url.size() < kScheme.size() || !equal_ignoring_case(url.substr(0, kScheme.size()), kScheme)) {
    return std::string(url);
  }
  std::string_view rest = url.substr(kScheme.size());
  const size_t path_start = rest.find('/');
  if (path_start == std::string_view::npos) return std::string(url);
  return percent_decoded(rest.substr(path_start));
}

}  // namespace

MetadataHeaders metadata_headers(std::string_view text) {
  MetadataHeaders headers;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (trim_ascii_space(line).empty()) break;                  // the end of the headers
    if (line.front() == ' ' || line.front() == '\t') continue;  // a continued value
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, colon);
    const std::string value(trim_ascii_space(line.substr(colon + 1)));
    // The first of repeated headers counts, as email.message's get() returns it.
    if (!headers.name && equal_ignoring_case(key, "Name")) headers.name = value;
    if (!headers.version && equal_ignoring_case(key, "Version")) headers.version = value;
  }
  return headers;
}

std::optional<std::string> editable_location(std::string_view direct_url_json) {
  Result<json::Value> document = json::read_json(direct_url_json);
  if (!document.ok() || document.value().type() != json::Value::Type::kObject) return std::nullopt;
  const json::Object& top = document.value().as_object();
  const json::Value* dir_info = top.find("dir_info");
  const json::Value* url = top.find("url");
  if (dir_info == nullptr || dir_info->type() != json::Value::Type::kObject || url == nullptr ||
      url->type() != json::Value::Type::kString) {
    return std::nullopt;
  }
  const json::Value* editable = dir_info->as_object().find("editable");
  if (editable == nullptr || editable->type() != json::Value::Type::kBool || !editable->as_bool()) {
    return std::nullopt;
  }
  return url_location(url->as_string());
}

std::string normalized_package_name(std::string_view name) {
  std::string normal;
  bool in_separator_run = false;
  for (const char c : name) {
    if (c == '-' || c == '_' || c == '.') {
      if (!in_separator_run) normal.push_back('-');
      in_separator_run = true;
    } else {
      normal.push_back(ascii_lower(c));
      in_separator_run = false;
    }
  }
  return normal;
}

std::vector<InstalledPackage> installed_packages(const std::vector<std::string>& search_path) {
  std::vector<InstalledPackage> packages;
  std::set<std::string> seen;
  const auto add = [&](std::optional<InstalledPackage> found) {
    if (found && seen.insert(normalized_package_name(found->name)).second) {
      packages.push_back(std::move(*found));
    }
  };
  for (const std::string& entry : search_path) {
    const std::string directory = entry.empty() ? "." : entry;
    const std::string base = base_name(directory);
    if (const auto egg = stem(base, kEgg)) {
      add(package(read_text(join_path(directory, "EGG-INFO/PKG-INFO"), kMetadataHead), *egg));
    }
    Result<std::vector<DirectoryEntry>> entries = list_directory(directory);
    if (!entries.ok()) continue;  // a zip archive, a missing directory
    std::vector<std::string> names;
    names.reserve(entries.value().size());
    for (DirectoryEntry& found : entries.value()) names.push_back(std::move(found.name));
    // In name order, so that which of two copies in one directory wins does not depend on the
    // file system's order.
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) add(distribution(directory, name));
  }
  std::sort(packages.begin(), packages.end(),
            [](const InstalledPackage& a, const InstalledPackage& b) { return a.name < b.name; });
  return packages;
}

}  // namespace trovik::run
