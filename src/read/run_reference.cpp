#include "read/run_reference.h"

#include <sys/stat.h>

#include <charconv>

#include "read/short_names.h"

namespace trovik::read {
namespace {

constexpr size_t kMinimumPrefix = 4;
constexpr size_t kCandidatesShown = 10;

bool is_regular_file(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  if (prefix.size() > text.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    const auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(text[i]) != lower(prefix[i])) return false;
  }
  return true;
}

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

}  // namespace

Result<RunFileEntry> resolve_run(std::string_view reference,
                                 const std::vector<RunFileEntry>& runs) {
  if (reference.starts_with('@')) {
    size_t position = 0;
    const char* end = reference.data() + reference.size();
    const std::from_chars_result parsed = std::from_chars(reference.data() + 1, end, position);
    if (parsed.ec != std::errc() || parsed.ptr != end || position == 0) {
      return Status::ValueError("bad run reference " + quoted(reference) +
                                ": use @1 for the newest run, @2 for the one before");
    }
    if (position > runs.size()) {
      return Status::NotFound("no run " + std::string(reference) + ": " +
                              std::to_string(runs.size()) + " runs found");
    }
    return runs[position - 1];
  }

  // A path names its file even when the file lies under no root.
  const std::string as_path(reference);
  if ((reference.find('/') != std::string_view::npos || reference.ends_with(".jsonl")) &&
      is_regular_file(as_path)) {
    return run_file_entry(as_path);
  }

  // Ids are hex digits, which people copy in either case.
  std::vector<const RunFileEntry*> matches;
  for (const RunFileEntry& run : runs) {
    if (run.run_id == reference) return run;
    if (starts_with_ignoring_case(run.run_id, reference)) matches.push_back(&run);
  }
  if (reference.size() < kMinimumPrefix) {
    return Status::ValueError("run id prefix " + quoted(reference) +
                              " is too short: give at least " + std::to_string(kMinimumPrefix) +
                              " characters");
  }
  if (matches.size() == 1) return *matches.front();
  if (matches.empty()) {
    std::string message = "unknown run " + quoted(reference) + ": no run id starts with it";
    if (runs.empty()) {
      message += " (no runs found)";
    } else {
      message += " (newest runs: ";
      for (size_t i = 0; i < runs.size() && i < 3; ++i) {
        message += (i > 0 ? ", " : "") + short_run_id(runs[i].run_id);
      }
      message += ")";
    }
    return Status::NotFound(std::move(message));
  }
  std::string message = "ambiguous run " + quoted(reference) + ": " +
                        std::to_string(matches.size()) + " run ids start with it: ";
  for (size_t i = 0; i < matches.size() && i < kCandidatesShown; ++i) {
    message += (i > 0 ? ", " : "") + matches[i]->run_id;
  }
  if (matches.size() > kCandidatesShown) message += ", ...";
  return Status::ValueError(std::move(message));
}

}  // namespace trovik::read
