#include "serve/run_listing.h"

#include "json/writer.h"
#include "read/timestamp.h"
#include "report/html_text.h"

namespace trovik::serve {
namespace {

// Waits for the runs to change, then reloads. A refusal (the server restarted with a new token,
// or stopped) ends the loop; a network error is tried again after a pause.
constexpr std::string_view kFollowScript = R"(
(async () => {
  const cursor = document.body.dataset.cursor;
  for (;;) {
    try {
      const response = await fetch("/api/changes?since=" + cursor, {cache: "no-store"});
      if (!response.ok) return;
      const changes = await response.json();
      if (String(changes.cursor) !== cursor) return location.reload();
    } catch (error) {
      await new Promise((resume) => setTimeout(resume, 2000));
    }
  }
})();
)";

constexpr std::string_view kStyle =
    "body{font:14px system-ui,sans-serif;margin:2em}table{border-collapse:collapse}"
    "td,th{padding:.25em .75em;text-align:left;border-bottom:1px solid #8884}"
    "td{unicode-bidi:isolate}code{font-size:13px}";

}  // namespace

bool same_runs(const std::vector<read::RunFileEntry>& a, const std::vector<read::RunFileEntry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].path != b[i].path || a[i].run_id != b[i].run_id || a[i].name != b[i].name ||
        a[i].started_ns != b[i].started_ns) {
      return false;
    }
  }
  return true;
}

std::string render_listing_page(const RunListing& listing, std::string_view nonce) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"color-scheme\" content=\"light dark\">\n<title>trovik: ";
  out += std::to_string(listing.runs.size());
  out += listing.runs.size() == 1 ? " run" : " runs";
  out += "</title>\n<style>";
  out += kStyle;
  out += "</style>\n</head>\n<body data-cursor=\"";
  out += std::to_string(listing.cursor);
  out +=
      "\">\n<h1>trovik</h1>\n<table>\n<thead><tr><th>name</th><th>run</th><th>started (UTC)</th>"
      "</tr></thead>\n<tbody>\n";
  for (const read::RunFileEntry& run : listing.runs) {
    out += "<tr><td>";
    report::append_escaped(out, run.name);
    out += "</td><td><code>";
    report::append_escaped(out, run.run_id);
    out += "</code></td><td>";
    out += read::format_utc_time(run.started_ns);
    out += "</td></tr>\n";
  }
  out += "</tbody>\n</table>\n<script nonce=\"";
  out += nonce;
  out += "\">";
  out += kFollowScript;
  out += "</script>\n</body>\n</html>\n";
  return out;
}

std::string render_listing_changes(const RunListing& listing, uint64_t since) {
  std::string out = "{\"cursor\":";
  json::write_integer(listing.cursor, out);
  if (since != listing.cursor) {
    out += ",\"runs\":[";
    for (size_t i = 0; i < listing.runs.size(); ++i) {
      const read::RunFileEntry& run = listing.runs[i];
      out += i == 0 ? "{\"run_id\":" : ",{\"run_id\":";
      json::write_string(run.run_id, out);
      out += ",\"name\":";
      json::write_string(run.name, out);
      out += ",\"started_ns\":";
      json::write_integer(run.started_ns, out);
      out += '}';
    }
    out += ']';
  }
  out += '}';
  return out;
}

}  // namespace trovik::serve
