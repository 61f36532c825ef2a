// trovik ls: one row per run, newest first, with the metadata and series that tell runs apart.

#include <fnmatch.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/failure.h"
#include "cli/output.h"
#include "read/run_batch.h"
#include "read/run_facts.h"
#include "read/run_summary_builder.h"
#include "read/text_format.h"
#include "read/text_table.h"
#include "read/timestamp.h"

namespace trovik::cli {
namespace {

struct LsOptions {
  bool all = false;
  bool json = false;
  std::string sort;
  std::string name_glob;
  size_t limit = 0;
};

// A run as listed: its summary and what it is sorted by.
struct ListedRun {
  read::RunSummary summary;
  int64_t started_ns = 0;
  bool live = false;
};

const json::Value* metadata_of(const read::RunSummary& run) {
  return run.run_start_member({"metadata"});
}

std::optional<double> as_number(const std::string& text) {
  double value = 0;
  const std::from_chars_result parsed =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

json::Value run_json(const ListedRun& run) {
  const read::RunSummary& s = run.summary;
  json::Object object;
  object.insert("run_id", json::Value::string(s.run_id));
  object.insert("name", json::Value::string(s.name));
  object.insert("path", json::Value::string(s.path));
  object.insert("created_at",
                s.created_at.empty() ? json::Value() : json::Value::string(s.created_at));
  object.insert("elapsed_ms",
                s.elapsed_ms ? json::Value::unsigned_integer(*s.elapsed_ms) : json::Value());
  object.insert("records", json::Value::unsigned_integer(s.records));
  object.insert("torn", json::Value::boolean(s.torn));
  const json::Value* git = s.run_start_member({"git"});
  object.insert("git", git != nullptr ? *git : json::Value());
  const std::optional<std::string> host = read::hostname_of(s);
  object.insert("hostname", host ? json::Value::string(*host) : json::Value());
  const json::Value* metadata = metadata_of(s);
  object.insert("metadata", metadata != nullptr ? *metadata : json::Value());
  json::Object last;
  for (const read::SeriesSummary& series : s.series) {
    last.insert(series.name, json::Value::number(series.last));
  }
  object.insert("last", json::Value::object(std::move(last)));
  return json::Value::object(std::move(object));
}

Status run_ls(const LsOptions& options, const CommandContext& context) {
  // Every file is read whole anyway: its first line needs no separate look.
  const std::vector<read::RunFileEntry> entries = context.runs(false);
  std::vector<std::string> paths;
  paths.reserve(entries.size());
  for (const read::RunFileEntry& entry : entries) paths.push_back(entry.path);
  std::vector<Result<read::RunSummary>> summaries =
      read::read_run_files(paths, read::Detail::kSummary, read::reading_threads());
  std::vector<ListedRun> runs;
  for (size_t i = 0; i < summaries.size(); ++i) {
    if (!summaries[i].ok()) return std::move(summaries[i]).status();
    read::RunSummary& summary = summaries[i].value();
    if (!options.name_glob.empty() &&
        ::fnmatch(options.name_glob.c_str(), summary.name.c_str(), 0) != 0) {
      continue;
    }
    const int64_t started = read::started_ns(summary).value_or(entries[i].started_ns);
    ListedRun run{std::move(summary), started, false};
    run.live = read::run_is_live(run.summary);
    runs.push_back(std::move(run));
  }
  std::stable_sort(runs.begin(), runs.end(), [](const ListedRun& a, const ListedRun& b) {
    return a.started_ns > b.started_ns;
  });

  // Fixed columns, then one per metadata key and per series, in the order first seen.
  std::vector<read::TextTable::Column> columns = {
      {"id", read::TextTable::Align::kLeft, false},
      {"name", read::TextTable::Align::kLeft, true},
      {"start", read::TextTable::Align::kLeft, false},
      {"duration", read::TextTable::Align::kRight, false},
      {"records", read::TextTable::Align::kRight, false},
      {"git", read::TextTable::Align::kLeft, true},
      {"host", read::TextTable::Align::kLeft, true},
  };
  const size_t fixed = columns.size();
  std::vector<std::string> extra_names;
  std::map<std::string, size_t> extra_index;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::vector<read::TextTable::Tone>> tones;
  const int64_t now = read::now_ns();
  for (const ListedRun& run : runs) {
    const read::RunSummary& s = run.summary;
    std::vector<std::string> row(fixed);
    std::vector<read::TextTable::Tone> tone(fixed, read::TextTable::Tone::kPlain);
    row[0] = s.run_id.substr(0, 8);
    row[1] = s.name;
    row[2] = s.created_at.empty() ? "?"
                                  : read::format_local_time(run.started_ns) + " (" +
                                        read::format_age(run.started_ns, now) + ")";
    row[3] = s.elapsed_ms ? read::format_duration_ms(*s.elapsed_ms) : "";
    if (run.live) {
      row[3] = "live " + row[3];
      tone[3] = read::TextTable::Tone::kGood;
    }
    row[4] = std::to_string(s.records) + (s.torn ? "+torn" : "");
    if (s.torn || s.bad_lines > 0) tone[4] = read::TextTable::Tone::kWarn;
    if (std::optional<read::GitFacts> git = read::git_facts(s)) {
      row[5] = git->commit.substr(0, 7) + (git->branch.empty() ? "" : " " + git->branch) +
               (git->dirty ? "*" : "");
    }
    row[6] = read::hostname_of(s).value_or("");
    auto put = [&](const std::string& column, std::string text) {
      auto [found, added] = extra_index.emplace(column, extra_names.size());
      if (added) extra_names.push_back(column);
      const size_t at = fixed + found->second;
      if (row.size() <= at) row.resize(at + 1);
      row[at] = std::move(text);
    };
    for (auto& [key, text] : read::metadata_cells(s)) put(key, std::move(text));
    for (const read::SeriesSummary& series : s.series) {
      put(series.name, read::format_number(series.last));
    }
    rows.push_back(std::move(row));
    tones.push_back(std::move(tone));
  }
  for (std::vector<std::string>& row : rows) row.resize(fixed + extra_names.size());

  std::vector<size_t> order(runs.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  if (!options.sort.empty()) {
    const bool descending = options.sort.front() == '-';
    const std::string key = descending ? options.sort.substr(1) : options.sort;
    auto column = std::find_if(columns.begin(), columns.end(),
                               [&](const read::TextTable::Column& c) { return c.header == key; });
    size_t at;
    if (column != columns.end()) {
      at = static_cast<size_t>(column - columns.begin());
    } else if (auto found = extra_index.find(key); found != extra_index.end()) {
      at = fixed + found->second;
    } else {
      return usage_error("no column '" + key + "' to sort by");
    }
    // Numbers by value, start and duration by time, the rest as text; empty cells always last.
    auto sort_key = [&](size_t run) -> std::optional<double> {
      if (at == 2) return static_cast<double>(runs[run].started_ns);
      if (at == 3) {
        const std::optional<uint64_t> ms = runs[run].summary.elapsed_ms;
        return ms ? std::optional<double>(static_cast<double>(*ms)) : std::nullopt;
      }
      if (at == 4) return static_cast<double>(runs[run].summary.records);
      return as_number(rows[run][at]);
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      const std::string& ta = rows[a][at];
      const std::string& tb = rows[b][at];
      if (ta.empty() != tb.empty()) return tb.empty();
      const std::optional<double> na = sort_key(a);
      const std::optional<double> nb = sort_key(b);
      if (na && nb) return descending ? *na > *nb : *na < *nb;
      return descending ? ta > tb : ta < tb;
    });
  }
  if (options.limit > 0 && order.size() > options.limit) order.resize(options.limit);

  if (options.json) {
    json::Array array;
    for (size_t run : order) array.push_back(run_json(runs[run]));
    write_json_document(json::Value::array(std::move(array)));
    return Status::Ok();
  }
  if (order.empty()) {
    write_out("no runs found\n");
    return Status::Ok();
  }

  // A metadata or series column is shown when its cells differ between the listed runs.
  std::vector<size_t> shown_extra;
  for (size_t e = 0; e < extra_names.size(); ++e) {
    bool differs = options.all || order.size() == 1;
    for (size_t i = 1; i < order.size() && !differs; ++i) {
      differs = rows[order[i]][fixed + e] != rows[order[0]][fixed + e];
    }
    if (differs) shown_extra.push_back(e);
  }
  for (size_t e : shown_extra) {
    columns.push_back({extra_names[e], read::TextTable::Align::kRight, true});
  }
  read::TextTable table(columns);
  for (size_t run : order) {
    std::vector<std::string> cells(rows[run].begin(), rows[run].begin() + fixed);
    for (size_t e : shown_extra) cells.push_back(rows[run][fixed + e]);
    table.add_row(std::move(cells), tones[run]);
  }
  const Terminal terminal = stdout_terminal();
  std::string out;
  const size_t left_off = table.render(terminal.width, terminal.colour, out);
  if (left_off > 0) {
    out += "(" + std::to_string(left_off) + " more columns: widen the terminal or use --json)\n";
  }
  write_out(out);
  return Status::Ok();
}

}  // namespace

void register_ls(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<LsOptions>();
  CLI::App* ls = app.add_subcommand("ls", "List runs, newest first");
  ls->add_flag("--all", options->all,
               "show every metadata and series column, not only differing ones");
  ls->add_option("--sort", options->sort, "sort by a column; prefix - for descending (-val.loss)")
      ->type_name("COLUMN");
  ls->add_option("--name", options->name_glob, "only runs whose name matches a glob")
      ->type_name("GLOB");
  ls->add_option("-n", options->limit, "show at most N runs")->type_name("N");
  ls->add_flag("--json", options->json, "print one JSON array instead of the table");
  ls->callback([options, &context] {
    context.command = [options, &context] { return run_ls(*options, context); };
  });
}

}  // namespace trovik::cli
