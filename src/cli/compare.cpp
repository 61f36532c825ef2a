// trovik compare RUN RUN...: metadata and series side by side, with the difference to the first.

#include <CLI/CLI.hpp>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/failure.h"
#include "cli/output.h"
#include "git/command_runner.h"
#include "read/run_facts.h"
#include "read/run_reference.h"
#include "read/run_summary_builder.h"
#include "read/text_format.h"
#include "read/text_table.h"

namespace trovik::cli {
namespace {

struct CompareOptions {
  std::vector<std::string> runs;
  bool all = false;
  bool json = false;
  bool code = false;
};

// One row of the comparison: a value per run, absent where a run lacks it.
struct Row {
  std::string label;
  std::vector<std::optional<json::Value>> values;
};

std::optional<double> number_of(const std::optional<json::Value>& value) {
  if (!value) return std::nullopt;
  switch (value->type()) {
    case json::Value::Type::kUnsigned:
      return static_cast<double>(value->as_unsigned());
    case json::Value::Type::kNegative:
      return static_cast<double>(value->as_negative());
    case json::Value::Type::kDouble:
      return value->as_double();
    default:
      return std::nullopt;
  }
}

// Rows in first-seen order: each metadata key, then each series' last, min and max.
std::vector<Row> comparison_rows(const std::vector<read::RunSummary>& runs, bool series_extremes) {
  std::vector<Row> rows;
  std::map<std::string, size_t> index;
  auto put = [&](const std::string& label, size_t run, json::Value value) {
    auto [found, added] = index.emplace(label, rows.size());
    if (added) rows.push_back(Row{label, std::vector<std::optional<json::Value>>(runs.size())});
    rows[found->second].values[run] = std::move(value);
  };
  for (size_t r = 0; r < runs.size(); ++r) {
    const json::Value* metadata = runs[r].run_start_member({"metadata"});
    if (metadata == nullptr) continue;
    if (metadata->type() == json::Value::Type::kObject) {
      for (const auto& [key, value] : metadata->as_object()) put(key, r, value);
    } else {
      put("metadata", r, *metadata);
    }
  }
  for (size_t r = 0; r < runs.size(); ++r) {
    for (const read::SeriesSummary& s : runs[r].series) {
      put(s.name + (series_extremes ? " last" : ""), r, json::Value::number(s.last));
      if (series_extremes) {
        put(s.name + " min", r, json::Value::number(s.min));
        put(s.name + " max", r, json::Value::number(s.max));
      }
    }
  }
  return rows;
}

bool row_differs(const Row& row) {
  for (size_t i = 1; i < row.values.size(); ++i) {
    if (row.values[i] != row.values[0]) return true;
  }
  return false;
}

std::string cell(const Row& row, size_t run) {
  const std::optional<json::Value>& value = row.values[run];
  if (!value) return "-";
  std::string text = read::cell_text(*value);
  if (run > 0) {
    const std::optional<double> first = number_of(row.values[0]);
    const std::optional<double> mine = number_of(value);
    if (first && mine) text += " (" + read::format_difference(*mine - *first) + ")";
  }
  return text;
}

json::Value compare_json(const std::vector<read::RunSummary>& runs) {
  // name -> one value per run, null where a run lacks it
  std::map<std::string, json::Array> metadata;
  std::map<std::string, json::Array> series;
  auto put = [&](std::map<std::string, json::Array>& section, const std::string& name, size_t run,
                 json::Value value) {
    json::Array& values = section[name];
    values.resize(runs.size());
    values[run] = std::move(value);
  };
  for (size_t r = 0; r < runs.size(); ++r) {
    if (const json::Value* m = runs[r].run_start_member({"metadata"})) {
      if (m->type() == json::Value::Type::kObject) {
        for (const auto& [key, value] : m->as_object()) put(metadata, key, r, value);
      } else {
        put(metadata, "metadata", r, *m);
      }
    }
    for (const read::SeriesSummary& s : runs[r].series) {
      put(series, s.name, r, json::Value::number(s.last));
    }
  }
  auto as_object = [](std::map<std::string, json::Array>& section) {
    json::Object object;
    for (auto& [name, values] : section) object.insert(name, json::Value::array(std::move(values)));
    return json::Value::object(std::move(object));
  };
  json::Array ids;
  for (const read::RunSummary& run : runs) ids.push_back(json::Value::string(run.run_id));
  json::Object object;
  object.insert("runs", json::Value::array(std::move(ids)));
  object.insert("metadata", as_object(metadata));
  object.insert("series", as_object(series));
  return json::Value::object(std::move(object));
}

// `git diff --stat` from the first run's code to each other run's.
std::string code_differences(const std::vector<read::RunSummary>& runs) {
  std::string out;
  const std::optional<read::GitFacts> first = read::git_facts(runs[0]);
  for (size_t r = 1; r < runs.size(); ++r) {
    const std::optional<read::GitFacts> other = read::git_facts(runs[r]);
    out += "\ncode " + runs[0].run_id.substr(0, 8) + " -> " + runs[r].run_id.substr(0, 8) + ": ";
    if (!first || !other || first->commit.empty() || other->commit.empty()) {
      out += "no recorded commit to compare\n";
      continue;
    }
    if (first->commit == other->commit) {
      out += "same commit " + first->commit.substr(0, 10) + "\n";
      continue;
    }
    git::OptionalText stat =
        git::command_output("git", {"diff", "--stat", first->commit, other->commit, "--"});
    if (!stat) {
      out += "git cannot compare " + first->commit.substr(0, 10) + " and " +
             other->commit.substr(0, 10) + " here\n";
    } else {
      out += first->commit.substr(0, 10) + ".." + other->commit.substr(0, 10) + "\n" +
             (stat->empty() ? "(no differences)" : *stat) + "\n";
    }
  }
  return out;
}

Status run_compare(const CompareOptions& options, const CommandContext& context) {
  if (options.runs.size() < 2) return usage_error("compare needs at least two runs");
  const std::vector<read::RunFileEntry> catalog = context.runs();
  std::vector<read::RunSummary> runs;
  for (const std::string& reference : options.runs) {
    Result<read::RunFileEntry> entry = read::resolve_run(reference, catalog);
    if (!entry.ok()) return std::move(entry).status();
    Result<read::RunSummary> run = read::read_run_file(entry.value().path, read::Detail::kSummary);
    if (!run.ok()) return std::move(run).status();
    runs.push_back(std::move(run.value()));
  }
  if (options.json) {
    write_json_document(compare_json(runs));
    return Status::Ok();
  }

  std::vector<read::TextTable::Column> columns = {{"", read::TextTable::Align::kLeft, true}};
  std::vector<std::string> names = {"name"};
  for (const read::RunSummary& run : runs) {
    columns.push_back({run.run_id.substr(0, 8), read::TextTable::Align::kRight, true});
    names.push_back(run.name);
  }
  read::TextTable table(columns);
  table.add_row(names);
  size_t hidden = 0;
  for (const Row& row : comparison_rows(runs, true)) {
    if (!options.all && !row_differs(row)) {
      ++hidden;
      continue;
    }
    std::vector<std::string> cells = {row.label};
    for (size_t r = 0; r < runs.size(); ++r) cells.push_back(cell(row, r));
    table.add_row(std::move(cells));
  }
  const Terminal terminal = stdout_terminal();
  std::string out;
  (void)table.render(terminal.width, terminal.colour, out);
  if (hidden > 0)
    out += "(" + std::to_string(hidden) + " equal rows not shown: --all shows them)\n";
  if (options.code) out += code_differences(runs);
  write_out(out);
  return Status::Ok();
}

}  // namespace

void register_compare(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<CompareOptions>();
  CLI::App* compare =
      app.add_subcommand("compare", "Compare runs side by side: metadata and series");
  compare->add_option("runs", options->runs, "two or more runs (id, prefix, @N or run file)")
      ->required()
      ->type_name("RUN");
  compare->add_flag("--all", options->all, "show equal rows too");
  compare->add_flag("--json", options->json, "print one JSON object instead of the table");
  compare->add_flag("--code", options->code, "add git diff --stat between the runs' code");
  compare->callback([options, &context] {
    context.command = [options, &context] { return run_compare(*options, context); };
  });
}

}  // namespace trovik::cli
