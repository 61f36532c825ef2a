#include "report/report_page.h"

#include <algorithm>
#include <map>
#include <set>
#include <span>

#include "report/elapsed_text.h"
#include "report/html_text.h"
#include "report/page_assets.h"
#include "report/page_data.h"
#include "report/page_limits.h"

namespace trovik::report {
namespace {

// Run texts go inside <bdi>, so that a right-to-left override in one cannot reorder what stands
// beside it.
void append_isolated(std::string& out, std::string_view text) {
  out += "<bdi>";
  append_escaped(out, text);
  out += "</bdi>";
}

std::string count_of(size_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// Where the page comes from: a file that needs nothing else, or the live server, whose page
// fetches its data from where it came from and from nowhere else.
enum class PageOrigin { kFile, kServer };

// The roots a served page follows, one after another, each escaped and isolated.
void append_roots(std::string& out, std::span<const std::string> roots) {
  for (size_t i = 0; i < roots.size(); ++i) {
    if (i > 0) out += ", ";
    append_isolated(out, roots[i]);
  }
}

// A written report names how many runs it holds; a served page, which follows runs as they come,
// names the roots it follows.
void append_head(std::string& out, const ReportInput& input, std::string_view nonce,
                 PageOrigin origin, std::span<const std::string> roots) {
  out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  out +=
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
      "style-src 'unsafe-inline'; script-src 'nonce-";
  out += nonce;
  out += origin == PageOrigin::kServer ? "'; connect-src 'self'\">\n" : "'\">\n";
  out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  out += "<meta name=\"color-scheme\" content=\"light dark\">\n<title>";
  if (origin == PageOrigin::kServer) {
    out += "trovik serve: ";
    for (size_t i = 0; i < roots.size(); ++i) {
      if (i > 0) out += ", ";
      append_escaped(out, roots[i]);
    }
  } else {
    out += "trovik report: ";
    out += count_of(input.runs.size(), "run", "runs");
  }
  out += "</title>\n<style>";
  out += kPageStyle;
  out += "</style>\n</head>\n<body>\n";
}

// What the page left out to stay small, said once at the top.
void append_left_out(std::string& out, const ReportInput& input) {
  size_t runs_short_of_series = 0;
  size_t series_left_out = 0;
  size_t notes_left_out = 0;
  for (const ReportRun& run : input.runs) {
    runs_short_of_series += run.series_left_out > 0;
    series_left_out += run.series_left_out;
    notes_left_out += run.notes_left_out;
  }
  if (series_left_out > 0) {
    out += "<p class=\"left-out\">This page charts at most ";
    out += std::to_string(kMaxCharts);
    out += " series, the first by name: ";
    out += count_of(series_left_out, "series", "series");
    out += " of ";
    out += count_of(runs_short_of_series, "run", "runs");
    out += " are left out (<code>trovik show</code> and <code>trovik export</code> list all).</p>";
  }
  if (notes_left_out > 0) {
    out += "<p class=\"left-out\">Each run shows its first ";
    out += std::to_string(kMaxNotesPerRun);
    out += " notes: ";
    out += count_of(notes_left_out, "note is", "notes are");
    out += " left out (<code>trovik show</code> lists all).</p>";
  }
}

void append_header(std::string& out, const ReportInput& input, PageOrigin origin,
                   std::span<const std::string> roots) {
  if (origin == PageOrigin::kServer) {
    out += "<header><h1>trovik serve</h1><p class=\"generated\">following ";
    append_roots(out, roots);
    out += " \u00b7 ";
  } else {
    out += "<header><h1>trovik report</h1><p class=\"generated\">";
  }
  out += count_of(input.runs.size(), "run", "runs");
  out += " \u00b7 generated ";
  append_escaped(out, input.generated_at);
  out += "</p>";
  append_left_out(out, input);
  out += "</header>\n<nav id=\"controls\" class=\"controls\" aria-label=\"Chart controls\" hidden>";
  out += "</nav>\n";
}

// The run table as plain HTML, which the script replaces with a sortable, filterable one.
void append_summary(std::string& out, const ReportInput& input) {
  out += "<section id=\"runs\"><h2>Runs</h2><div id=\"run-tools\" class=\"tools\" hidden></div>";
  out += "<div class=\"table-scroll\"><table class=\"summary\" id=\"run-table\"><thead><tr>";
  for (const std::string& column : input.summary.columns) {
    out += "<th>";
    append_escaped(out, column);
    out += "</th>";
  }
  out += "</tr></thead><tbody>";
  const auto status = std::find(input.summary.columns.begin(), input.summary.columns.end(),
                                std::string_view("status"));
  const size_t status_column = static_cast<size_t>(status - input.summary.columns.begin());
  for (size_t r = 0; r < input.summary.rows.size(); ++r) {
    const std::vector<std::string>& row = input.summary.rows[r];
    out += "<tr>";
    for (size_t i = 0; i < row.size(); ++i) {
      // The name and the metadata and series columns may hold long texts: those wrap.
      if (i == status_column && r < input.runs.size() && !input.runs[r].status.empty()) {
        // Each status has its own mark, as in the page's script.
        out += "<td class=\"status status-";
        append_escaped(out, input.runs[r].status);
        out += "\">";
      } else {
        out += i == 1 || i >= input.summary.fixed_columns ? "<td class=\"text\">" : "<td>";
      }
      append_isolated(out, row[i]);
      out += "</td>";
    }
    out += "</tr>";
  }
  out += "</tbody></table></div></section>\n";
}

void append_interactive_sections(std::string& out) {
  out +=
      "<section id=\"hyperparameters\" hidden><h2>Hyperparameters</h2><div id=\"hyper\">"
      "</div></section>\n<section id=\"series\"><h2>Series</h2><noscript><p class=\"generated\">"
      "The charts are drawn by the page's script: allow JavaScript to see them. The tables "
      "need none.</p></noscript><div id=\"charts\"></div></section>\n";
}

// Metadata side by side: a row per key any run has, a column per run; keys whose values differ
// between the runs stand out.
void append_metadata(std::string& out, const ReportInput& input) {
  std::set<std::string_view> keys;
  std::vector<std::map<std::string_view, std::string_view>> values(input.runs.size());
  for (size_t i = 0; i < input.runs.size(); ++i) {
    for (const auto& [key, value] : input.runs[i].metadata) {
      keys.insert(key);
      values[i].emplace(key, value);
    }
  }
  if (keys.empty()) return;
  out +=
      "<section id=\"metadata\"><h2>Metadata</h2><div class=\"table-scroll\"><table>"
      "<thead><tr><th></th>";
  for (const ReportRun& run : input.runs) {
    out += "<th>";
    append_isolated(out, run.name);
    out += " <code>";
    append_escaped(out, run.run_id.substr(0, 8));
    out += "</code></th>";
  }
  out += "</tr></thead><tbody>";
  for (std::string_view key : keys) {
    const bool differs = input.differing_metadata.contains(key);
    out += differs ? "<tr class=\"differs\"><th class=\"text\">" : "<tr><th class=\"text\">";
    append_isolated(out, key);
    out += "</th>";
    for (const auto& run_values : values) {
      auto found = run_values.find(key);
      if (found == run_values.end()) {
        out += "<td class=\"absent\">\u2014</td>";
        continue;
      }
      out += "<td class=\"text\">";
      append_isolated(out, found->second);
      out += "</td>";
    }
    out += "</tr>";
  }
  out += "</tbody></table></div></section>\n";
}

// A unified diff with its line kinds told apart by colour.
void append_diff(std::string& out, std::string_view diff) {
  while (!diff.empty()) {
    const size_t end = diff.find('\n');
    const std::string_view line = diff.substr(0, end);
    diff = end == std::string_view::npos ? std::string_view() : diff.substr(end + 1);
    const char* kind = nullptr;
    if (line.starts_with("diff --git") || line.starts_with("+++") || line.starts_with("---")) {
      kind = "file";
    } else if (line.starts_with("@@")) {
      kind = "hunk";
    } else if (line.starts_with("+")) {
      kind = "add";
    } else if (line.starts_with("-")) {
      kind = "del";
    }
    if (kind != nullptr) {
      out += "<span class=\"";
      out += kind;
      out += "\">";
      append_escaped(out, line);
      out += "</span>\n";
    } else {
      append_escaped(out, line);
      out += '\n';
    }
  }
}

void append_run_notes(std::string& out, const ReportRun& run) {
  if (run.notes.empty()) return;
  out += "<ol class=\"notes\">";
  for (const RunNote& note : run.notes) {
    out += "<li><span class=\"when\">";
    out += format_elapsed(note.elapsed_ms);
    out += ":</span> ";
    append_isolated(out, note.text);
    out += "</li>";
  }
  out += "</ol>";
  if (run.notes_left_out > 0) {
    out += "<p class=\"generated\">and ";
    out += count_of(run.notes_left_out, "more note", "more notes");
    out += "</p>";
  }
}

void append_run_details(std::string& out, const ReportInput& input) {
  out += "<section id=\"details\"><h2>Run details</h2><div class=\"runs\">";
  for (const ReportRun& run : input.runs) {
    out += "<article data-run=\"";
    append_escaped(out, run.run_id);
    out += "\"><h3>";
    append_isolated(out, run.name);
    out += "<span class=\"mono\">";
    append_escaped(out, run.run_id);
    out += "</span></h3><dl>";
    if (!run.status.empty()) {
      out += "<dt>status</dt><dd>";
      append_isolated(out, run.status);
      out += "</dd>";
    }
    for (const auto& [label, text] : run.facts) {
      out += "<dt>";
      append_escaped(out, label);
      out += "</dt><dd>";
      append_isolated(out, text);
      out += "</dd>";
    }
    out += "</dl>";
    if (!run.traceback.empty()) {
      out += "<details class=\"traceback\"><summary>traceback</summary><pre>";
      append_escaped(out, run.traceback);
      out += "</pre></details>";
    }
    append_run_notes(out, run);
    if (!run.code_heading.empty() && run.code_diff.empty()) {
      out += "<p class=\"code\">";
      append_escaped(out, run.code_heading);
      out += "</p>";
    } else if (!run.code_heading.empty()) {
      out += "<details><summary>";
      append_escaped(out, run.code_heading);
      out += "</summary><pre class=\"diff\">";
      append_diff(out, run.code_diff);
      out += "</pre></details>";
    }
    out += "</article>\n";
  }
  out += "</div></section>\n";
}

void append_footer(std::string& out) {
  out +=
      "<footer><details><summary>Charts are drawn with dygraphs 2.2.1 (MIT licence), "
      "embedded in this page.</summary><pre class=\"notice\">";
  append_escaped(out, kChartLibraryNotice);
  out += "</pre></details></footer>\n<div id=\"readout\" class=\"readout\" hidden></div>\n";
}

void append_body(std::string& out, const ReportInput& input, PageOrigin origin,
                 std::span<const std::string> roots) {
  append_header(out, input, origin, roots);
  append_summary(out, input);
  append_interactive_sections(out);
  append_metadata(out, input);
  append_run_details(out, input);
  append_footer(out);
}

void append_script(std::string& out, std::string_view nonce, std::string_view script) {
  out += "<script nonce=\"";
  out += nonce;
  out += "\">";
  out += script;
  out += "</script>\n";
}

}  // namespace

std::string render_report_page(const ReportInput& input, std::string_view nonce) {
  std::string out;
  out.reserve(1 << 20);
  append_head(out, input, nonce, PageOrigin::kFile, {});
  append_body(out, input, PageOrigin::kFile, {});
  out += "<script type=\"application/json\" id=\"trovik-data\">";
  append_page_data(out, input);
  out += "</script>\n";
  append_script(out, nonce, kPageScript);
  out += "</body>\n</html>\n";
  return out;
}

std::string render_served_page(const ReportInput& input, std::string_view nonce,
                               std::span<const std::string> roots) {
  std::string out;
  out.reserve(1 << 20);
  append_head(out, input, nonce, PageOrigin::kServer, roots);
  append_body(out, input, PageOrigin::kServer, roots);
  // The runs' data comes from the server: the page starts from their table's columns only.
  ReportInput frame;
  frame.generated_at = input.generated_at;
  frame.x_axis = input.x_axis;
  frame.summary.columns = input.summary.columns;
  frame.summary.fixed_columns = input.summary.fixed_columns;
  out += "<script type=\"application/json\" id=\"trovik-data\">";
  append_page_data(out, frame);
  out += "</script>\n";
  append_script(out, nonce, kPageScript);
  append_script(out, nonce, kLivePageScript);
  out += "</body>\n</html>\n";
  return out;
}

}  // namespace trovik::report
