#include "report/report_page.h"

#include <algorithm>
#include <map>
#include <set>

#include "report/axis_scale.h"
#include "report/chart_svg.h"
#include "report/html_text.h"
#include "report/page_assets.h"

namespace trovik::report {
namespace {

void append_swatch(std::string& out, size_t run_index) {
  out += "<span class=\"swatch";
  append_colour_classes(out, static_cast<int>(run_index));
  out += "\"></span>";
}

// A run as every part of the page names it: its colour, its name, the start of its id.
void append_run_label(std::string& out, const ReportRun& run, size_t run_index) {
  append_swatch(out, run_index);
  out += "<span class=\"run-name\">";
  append_escaped(out, run.name);
  out += "</span> <code>";
  append_escaped(out, run.short_id);
  out += "</code>";
}

void append_head(std::string& out, const ReportInput& input, std::string_view nonce) {
  out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  out +=
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
      "style-src 'unsafe-inline'; script-src 'nonce-";
  out += nonce;
  out += "'\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  out += "<meta name=\"color-scheme\" content=\"light dark\">\n<title>trovik report: ";
  out += std::to_string(input.runs.size());
  out += input.runs.size() == 1 ? " run" : " runs";
  out += "</title>\n<style>";
  out += kPageStyle;
  out += "</style>\n</head>\n<body>\n<header><h1>trovik report</h1><p class=\"generated\">";
  out += std::to_string(input.runs.size());
  out += input.runs.size() == 1 ? " run" : " runs";
  out += " \u00b7 generated ";
  append_escaped(out, input.generated_at);
  out += input.x_axis == XAxis::kStep ? " \u00b7 charts by step" : " \u00b7 charts by elapsed time";
  out += "</p></header>\n";
}

void append_summary(std::string& out, const ReportInput& input) {
  out +=
      "<section id=\"runs\"><h2>Runs</h2><div class=\"table-scroll\"><table class=\"summary\">"
      "<thead><tr><th></th>";
  for (const std::string& column : input.summary.columns) {
    out += "<th>";
    append_escaped(out, column);
    out += "</th>";
  }
  out += "</tr></thead><tbody>";
  for (size_t i = 0; i < input.summary.rows.size(); ++i) {
    out += "<tr><td>";
    append_swatch(out, i);
    out += "</td>";
    for (const std::string& cell : input.summary.rows[i]) {
      out += "<td>";
      append_escaped(out, cell);
      out += "</td>";
    }
    out += "</tr>";
  }
  out += "</tbody></table></div></section>\n";
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
  for (size_t i = 0; i < input.runs.size(); ++i) {
    out += "<th>";
    append_run_label(out, input.runs[i], i);
    out += "</th>";
  }
  out += "</tr></thead><tbody>";
  for (std::string_view key : keys) {
    const bool differs = input.differing_metadata.contains(key);
    out += differs ? "<tr class=\"differs\"><th>" : "<tr><th>";
    append_escaped(out, key);
    out += "</th>";
    for (const auto& run_values : values) {
      auto found = run_values.find(key);
      if (found == run_values.end()) {
        out += "<td class=\"absent\">\u2014</td>";
        continue;
      }
      out += "<td title=\"";
      append_escaped(out, found->second);
      out += "\">";
      append_escaped(out, found->second);
      out += "</td>";
    }
    out += "</tr>";
  }
  out += "</tbody></table></div></section>\n";
}

void append_charts(std::string& out, const ReportInput& input) {
  // Series by name, each with the runs that have it, in run order.
  std::map<std::string_view, std::vector<std::pair<size_t, const RunSeries*>>> charts;
  for (size_t i = 0; i < input.runs.size(); ++i) {
    for (const RunSeries& series : input.runs[i].series) {
      charts[series.name].emplace_back(i, &series);
    }
  }
  out += "<section id=\"series\"><h2>Series</h2>";
  if (charts.empty()) out += "<p class=\"generated\">These runs tracked no numbers.</p>";
  out += "<div class=\"charts\">";
  for (const auto& [name, members] : charts) {
    ChartSpec chart{name, input.x_axis, {}, {}};
    out += "<figure data-series=\"";
    append_escaped(out, name);
    out += "\"><figcaption><h3>";
    append_escaped(out, name);
    out += "</h3><ul class=\"legend\">";
    for (const auto& [run_index, series] : members) {
      const ReportRun& run = input.runs[run_index];
      out += "<li data-run=\"";
      out += std::to_string(run_index);
      out += "\">";
      append_run_label(out, run, run_index);
      out += "</li>";
      chart.lines.push_back({static_cast<int>(run_index), series->points});
      for (const RunNote& note : run.notes) {
        const double x = input.x_axis == XAxis::kStep ? static_cast<double>(note.step)
                                                      : note.elapsed_ms / 1000.0;
        chart.notes.push_back({static_cast<int>(run_index), x, note.text});
      }
    }
    out += "</ul></figcaption>";
    append_chart_svg(out, chart);
    out += "</figure>\n";
  }
  out += "</div></section>\n";
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

void append_run_details(std::string& out, const ReportInput& input) {
  out += "<section id=\"details\"><h2>Run details</h2><div class=\"runs\">";
  for (size_t i = 0; i < input.runs.size(); ++i) {
    const ReportRun& run = input.runs[i];
    out += "<article><h3>";
    append_swatch(out, i);
    append_escaped(out, run.name);
    out += "<span class=\"mono\">";
    append_escaped(out, run.run_id);
    out += "</span></h3><dl>";
    for (const auto& [label, text] : run.facts) {
      out += "<dt>";
      append_escaped(out, label);
      out += "</dt><dd>";
      append_escaped(out, text);
      out += "</dd>";
    }
    out += "</dl>";
    if (!run.notes.empty()) {
      out += "<ol class=\"notes\">";
      for (const RunNote& note : run.notes) {
        out += "<li><span class=\"when\">";
        out += format_elapsed(note.elapsed_ms);
        out += ":</span> ";
        append_escaped(out, note.text);
        out += "</li>";
      }
      out += "</ol>";
    }
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

}  // namespace

std::string render_report_page(const ReportInput& input, std::string_view nonce) {
  std::string out;
  out.reserve(1 << 20);
  append_head(out, input, nonce);
  append_summary(out, input);
  append_metadata(out, input);
  append_charts(out, input);
  append_run_details(out, input);
  out += "<div id=\"readout\" class=\"readout\" hidden></div>\n<script nonce=\"";
  out += nonce;
  out += "\">";
  out += kPageScript;
  out += "</script>\n</body>\n</html>\n";
  return out;
}

}  // namespace trovik::report
