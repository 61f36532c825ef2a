#include "serve/routes.h"

#include <charconv>
#include <string>

namespace trovik::serve {
namespace {

// Run ids are UUIDs; a file name without ".jsonl" stands in for a run without its first line.
constexpr size_t kLongestRunId = 128;

bool is_run_id(std::string_view text) {
  if (text.empty() || text.size() > kLongestRunId) return false;
  for (char c : text) {
    const bool allowed =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    if (!allowed) return false;
  }
  return true;
}

Result<uint64_t> parse_cursor(std::optional<std::string_view> text) {
  if (!text) return uint64_t{0};
  uint64_t value = 0;
  const char* end = text->data() + text->size();
  const auto [stop, error] = std::from_chars(text->data(), end, value);
  if (text->empty() || error != std::errc() || stop != end) {
    return Status::ValueError("since takes a cursor the server gave");
  }
  return value;
}

}  // namespace

Result<Route> route_request(const RequestTarget& target) {
  Route route;
  if (target.path == "/") {
    route.kind = Route::Kind::kPage;
  } else if (target.path == "/api/changes") {
    route.kind = Route::Kind::kChanges;
    Result<uint64_t> since = parse_cursor(target.value("since"));
    if (!since.ok()) return std::move(since).status();
    route.since = since.value();
  } else if (target.path == "/api/series") {
    route.kind = Route::Kind::kSeries;
    std::optional<std::string_view> run = target.value("run");
    if (!run || !is_run_id(*run)) return Status::ValueError("run takes a run id");
    route.run_id = *run;
  } else if (target.path == "/favicon.ico") {
    route.kind = Route::Kind::kIcon;
  } else {
    return Status::NotFound("no such page");
  }
  return route;
}

}  // namespace trovik::serve
