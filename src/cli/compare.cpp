// trovik compare RUN RUN...: metadata and series side by side, with the difference to the first.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/failure.h"
#include "cli/output.h"
#include "read/environment_summary.h"
#include "read/run_code.h"
#include "read/run_facts.h"
#include "read/run_reference.h"
#include "read/run_status.h"
#include "read/run_summary_builder.h"
#include "read/run_table.h"
#include "read/short_names.h"
#include "read/summary_cache.h"
#include "read/text_format.h"
#include "read/text_table.h"
#include "read/timestamp.h"
#include "util/quote.h"

namespace trovik::cli {
namespace {

struct CompareOptions {
  std::vector<std::string> runs;
  bool all = false;
  bool json = false;
  bool code = false;
  std::string statistic;  // the one series number to show; all three when empty
  bool no_cache = false;
};

// The runs being compared: their table (one column per metadata key and per series' last, min and
// max), and what `--code` needs of each.
struct Comparison {
  explicit Comparison(read::RunTable::Options options) : table(std::move(options)) {}
  read::RunTable table;
  std::vector<std::string> run_ids;
  std::vector<std::string> names;
  std::vector<std::optional<read::GitFacts>> git;
  std::vector<std::string> paths;
  std::vector<read::RunStatus> statuses;
  std::vector<std::optional<json::Value>> ends;
  std::vector<std::optional<json::Value>> environments;
  // Each run's series, for their numbers as recorded.
  std::vector<std::vector<read::SeriesSummary>> series;
};

// One environment entry ("numpy", a package) with its text in each run; absent as "".
struct EnvironmentRow {
  std::string label;  // "package numpy", "variable OMP_NUM_THREADS"
  std::string kind;   // "packages" or "variables": where --json puts it
  std::string name;
  std::vector<std::optional<std::string>> texts;
};

// The packages and variables whose values differ between the runs that recorded their
// environment; none when fewer than two did (every package would differ from nothing).
std::vector<EnvironmentRow> environment_differences(const Comparison& comparison) {
  std::vector<EnvironmentRow> rows;
  size_t recorded = 0;
  for (const std::optional<json::Value>& environment : comparison.environments) {
    recorded += environment.has_value();
  }
  if (recorded < 2) return rows;
  const std::pair<const char*, const char*> kinds[] = {{"packages", "package "},
                                                       {"variables", "variable "}};
  for (const auto& [kind, label] : kinds) {
    std::vector<std::map<std::string, std::string, std::less<>>> entries;
    std::set<std::string, std::less<>> names;
    for (const std::optional<json::Value>& environment : comparison.environments) {
      entries.push_back(environment ? read::environment_entries(*environment, kind)
                                    : std::map<std::string, std::string, std::less<>>());
      for (const auto& [name, text] : entries.back()) names.insert(name);
    }
    for (const std::string& name : names) {
      EnvironmentRow row{label + name, kind, name, {}};
      for (size_t r = 0; r < entries.size(); ++r) {
        if (!comparison.environments[r]) {
          row.texts.emplace_back();
          continue;
        }
        auto found = entries[r].find(name);
        row.texts.push_back(found == entries[r].end() ? std::nullopt
                                                      : std::optional(found->second));
      }
      std::set<std::optional<std::string>> distinct;
      for (size_t r = 0; r < row.texts.size(); ++r) {
        if (comparison.environments[r]) distinct.insert(row.texts[r]);
      }
      if (distinct.size() > 1) rows.push_back(std::move(row));
    }
  }
  return rows;
}
std::optional<double> number_of(const json::Value* value) {
  if (value == nullptr) return std::nullopt;
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

std::string cell(const read::RunTable& table, const read::ShownColumn& column, size_t run) {
  const read::Cell& mine = table.shown_cell(run, column);
  if (!mine.present()) return "-";
  std::string text = mine.text();
  if (run > 0) {
    const std::optional<double> first = number_of(table.shown_cell(0, column).recorded_value());
    const std::optional<double> value = number_of(mine.recorded_value());
    if (first && value) text += " (" + read::format_difference(*value - *first) + ")";
  }
  return text;
}

// The comparison transposed: a row per run, its id and name, then a column per row of the
// side-by-side table, its values without the differences (a column of numbers is compared by eye).
read::TextTable runs_as_rows(const Comparison& comparison,
                             const std::vector<read::ShownColumn>& fields) {
  const read::RunTable& table = comparison.table;
  std::vector<size_t> runs(table.row_count());
  std::iota(runs.begin(), runs.end(), 0);
  std::vector<read::TextTable::Column> columns = {{"id", read::TextTable::Align::kLeft, false},
                                                  {"name", read::TextTable::Align::kLeft, true}};
  for (const read::ShownColumn& field : fields) {
    columns.push_back(
        {field.header, read::TextTable::Align::kRight, !table.holds_numbers(field, runs)});
  }
  read::TextTable text(columns);
  for (size_t r = 0; r < comparison.run_ids.size(); ++r) {
    std::vector<std::string> cells = {read::short_run_id(comparison.run_ids[r]),
                                      comparison.names[r]};
    for (const read::ShownColumn& field : fields) {
      const read::Cell& value = table.shown_cell(r, field);
      cells.push_back(value.present() ? value.text() : "-");
    }
    text.add_row(std::move(cells));
  }
  return text;
}

size_t widest_line(std::string_view text) {
  size_t widest = 0;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    widest = std::max(widest, read::display_width(text.substr(0, end)));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return widest;
}

json::Value compare_json(const Comparison& comparison, read::SeriesStatistic statistic) {
  const read::RunTable& table = comparison.table;
  // name -> one value per run, null where a run lacks it
  json::Object metadata;
  json::Object series;
  for (size_t c = 0; c < table.columns().size(); ++c) {
    const read::Column& column = table.columns()[c];
    const bool is_metadata = column.kind == read::Column::Kind::kMetadata;
    const bool is_shown =
        column.kind == read::Column::Kind::kSeries && column.statistic == statistic;
    if (!is_metadata && !is_shown) continue;
    json::Array values;
    for (size_t run = 0; run < table.row_count(); ++run) {
      if (is_metadata) {
        const json::Value* value = table.cell(run, c).recorded_value();
        values.push_back(value != nullptr ? *value : json::Value());
        continue;
      }
      const std::vector<read::SeriesSummary>& run_series = comparison.series[run];
      auto found =
          std::find_if(run_series.begin(), run_series.end(),
                       [&](const read::SeriesSummary& s) { return s.name == column.name; });
      values.push_back(found != run_series.end() ? read::series_value(*found, statistic)
                                                 : json::Value());
    }
    (is_metadata ? metadata : series).insert(column.name, json::Value::array(std::move(values)));
  }
  json::Array ids;
  for (const std::string& run_id : comparison.run_ids) ids.push_back(json::Value::string(run_id));
  json::Array statuses;
  json::Array ends;
  for (size_t r = 0; r < comparison.run_ids.size(); ++r) {
    statuses.push_back(json::Value::string(std::string(read::status_name(comparison.statuses[r]))));
    ends.push_back(comparison.ends[r] ? *comparison.ends[r] : json::Value());
  }
  json::Object environment;
  for (const EnvironmentRow& row : environment_differences(comparison)) {
    json::Array texts;
    for (const std::optional<std::string>& text : row.texts) {
      texts.push_back(text ? json::Value::string(*text) : json::Value());
    }
    const json::Value* kind = environment.find(row.kind);
    json::Object members = kind != nullptr ? kind->as_object() : json::Object();
    members.insert(row.name, json::Value::array(std::move(texts)));
    environment.insert(row.kind, json::Value::object(std::move(members)));
  }
  json::Object object;
  object.insert("runs", json::Value::array(std::move(ids)));
  object.insert("status", json::Value::array(std::move(statuses)));
  object.insert("end", json::Value::array(std::move(ends)));
  object.insert("metadata", json::Value::object(std::move(metadata)));
  object.insert("series", json::Value::object(std::move(series)));
  // The packages and variables that differ between the runs that recorded them.
  object.insert("environment", json::Value::object(std::move(environment)));
  return json::Value::object(std::move(object));
}

// `git diff --stat` from the first run's code to each other run's, in the first run's repository.
std::string code_differences(const Comparison& comparison) {
  std::string out;
  read::RepositoryFinder repositories;
  const std::string repository = repositories.repository_of(comparison.paths[0]);
  const std::optional<read::GitFacts>& first = comparison.git[0];
  // Ids and commits come from run files: quoted for the terminal, as everything else here.
  const std::string first_id = terminal_quoted(read::short_run_id(comparison.run_ids[0]));
  for (size_t r = 1; r < comparison.run_ids.size(); ++r) {
    const std::optional<read::GitFacts>& other = comparison.git[r];
    out += "\ncode " + first_id + " -> " +
           terminal_quoted(read::short_run_id(comparison.run_ids[r])) + ": ";
    if (!first || !other || first->commit.empty() || other->commit.empty()) {
      out += "no recorded commit to compare\n";
      continue;
    }
    const std::string from = terminal_quoted(read::abbreviated_commit(first->commit));
    const std::string to = terminal_quoted(read::abbreviated_commit(other->commit));
    if (first->commit == other->commit) {
      out += "same commit " + from + "\n";
      continue;
    }
    const std::optional<std::string> stat =
        read::code_difference(repository, first->commit, other->commit);
    if (!stat) {
      out.append("git cannot compare ").append(from).append(" and ").append(to).append(" here\n");
    } else {
      out.append(from).append("..").append(to).append("\n");
      out.append(stat->empty() ? "(no differences)" : *stat).append("\n");
    }
  }
  return out;
}

Status run_compare(const CompareOptions& options, const CommandContext& context) {
  if (options.runs.size() < 2) return usage_error("compare needs at least two runs");
  const std::vector<read::RunFileEntry> catalog = context.runs();
  // The table has a row per series for each statistic, or for the one asked for.
  std::vector<read::SeriesStatistic> statistics = {
      read::SeriesStatistic::kLast, read::SeriesStatistic::kMin, read::SeriesStatistic::kMax};
  read::SeriesStatistic json_statistic = read::SeriesStatistic::kLast;
  if (!options.statistic.empty()) {
    json_statistic = *read::statistic_named(options.statistic);
    statistics = {json_statistic};
  }
  Comparison comparison({read::now_ns(), &read::system_process_probe(), statistics, true});
  // Each file once, however often it is named.
  std::vector<read::RunFileEntry> files;
  std::vector<size_t> file_of;  // per run named
  for (const std::string& reference : options.runs) {
    Result<read::RunFileEntry> entry = read::resolve_run(reference, catalog);
    if (!entry.ok()) return std::move(entry).status();
    auto same = std::find_if(files.begin(), files.end(), [&](const read::RunFileEntry& file) {
      return file.path == entry.value().path;
    });
    file_of.push_back(static_cast<size_t>(same - files.begin()));
    if (same == files.end()) files.push_back(std::move(entry).value());
  }
  read::SummaryCacheUse cache;
  if (!options.no_cache) cache.directory = read::summary_cache_directory();
  std::vector<std::optional<Result<read::RunSummary>>> readings(files.size());
  read::read_run_summaries(files, cache, 1, [&](size_t index, Result<read::RunSummary>&& run) {
    readings[index].emplace(std::move(run));
  });
  for (size_t r = 0; r < file_of.size(); ++r) {
    const Result<read::RunSummary>& run = *readings[file_of[r]];
    if (!run.ok()) {
      report_warning("skipped " + files[file_of[r]].path + ": " + run.status().message());
      continue;
    }
    const read::RunSummary& summary = run.value();
    comparison.table.add(summary, files[file_of[r]].started_ns);
    comparison.run_ids.push_back(summary.run_id);
    comparison.names.push_back(summary.name);
    comparison.git.push_back(read::git_facts(summary));
    comparison.paths.push_back(summary.path);
    comparison.statuses.push_back(read::run_status(summary, read::system_process_probe()));
    comparison.ends.push_back(summary.run_end);
    comparison.environments.push_back(summary.environment);
    comparison.series.push_back(summary.series);
  }
  if (comparison.run_ids.size() < 2) return Status::OSError("fewer than two runs could be read");
  if (options.json) {
    write_json_document(compare_json(comparison, json_statistic));
    return Status::Ok();
  }

  const read::RunTable& table = comparison.table;
  std::vector<read::TextTable::Column> columns = {{"", read::TextTable::Align::kLeft, true}};
  std::vector<std::string> names = {"name"};
  std::vector<std::string> statuses = {"status"};
  for (size_t r = 0; r < comparison.run_ids.size(); ++r) {
    columns.push_back(
        {read::short_run_id(comparison.run_ids[r]), read::TextTable::Align::kRight, true});
    names.push_back(comparison.names[r]);
    statuses.emplace_back(read::status_name(comparison.statuses[r]));
  }
  read::TextTable text(columns);
  text.add_row(names);
  text.add_row(statuses);
  // Rows in first-seen order: each metadata key, then each series' last, min and max.
  std::vector<size_t> runs(table.row_count());
  std::iota(runs.begin(), runs.end(), 0);
  size_t hidden = 0;
  std::vector<read::ShownColumn> shown_rows;
  for (const read::ShownColumn& row : table.value_columns(runs, true)) {
    if (!options.all && !table.differs(row, runs)) {
      ++hidden;
      continue;
    }
    shown_rows.push_back(row);
    std::vector<std::string> cells = {row.header};
    for (size_t r : runs) cells.push_back(cell(table, row, r));
    text.add_row(std::move(cells));
  }
  for (const EnvironmentRow& row : environment_differences(comparison)) {
    std::vector<std::string> cells = {terminal_quoted(row.label)};
    for (const std::optional<std::string>& value : row.texts) {
      cells.push_back(value ? terminal_quoted(*value) : "-");
    }
    text.add_row(std::move(cells));
  }
  const Terminal terminal = stdout_terminal();
  std::string out;
  (void)text.render(0, terminal.colour, out);
  if (terminal.width > 0 && widest_line(out) > terminal.width) {
    // Side by side the runs no longer fit: one row per run reads better than cut cells.
    out.clear();
    const size_t left_off =
        runs_as_rows(comparison, shown_rows).render(terminal.width, terminal.colour, out);
    if (left_off > 0) {
      out += "(" + std::to_string(left_off) +
             " more columns: widen the terminal, compare fewer runs, or use --json)\n";
    }
  }
  if (hidden > 0) {
    out += "(" + std::to_string(hidden) + " equal rows not shown: --all shows them)\n";
  }
  if (options.code) out += code_differences(comparison);
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
  compare
      ->add_option("--stat", options->statistic,
                   "show one number of each series: last, min or max (default: all three; "
                   "--json: last)")
      ->check(CLI::IsMember({"last", "min", "max"}))
      ->type_name("STAT");
  compare->add_flag("--code", options->code, "add git diff --stat between the runs' code");
  compare->add_flag("--no-cache", options->no_cache,
                    "read the run files, neither using nor updating the summary cache");
  compare->callback([options, &context] {
    context.command = [options, &context] { return run_compare(*options, context); };
  });
}

}  // namespace trovik::cli
