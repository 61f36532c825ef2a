// trovik ls: one row per run, newest first, with the metadata and series that tell runs apart.
// Every text from a run file is shown terminal_quoted (read::TextTable does it).

#include <fnmatch.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/failure.h"
#include "cli/output.h"
#include "json/writer.h"
#include "read/run_batch.h"
#include "read/run_facts.h"
#include "read/run_status.h"
#include "read/run_table.h"
#include "read/summary_cache.h"
#include "read/text_format.h"
#include "read/text_table.h"
#include "read/timestamp.h"
#include "util/quote.h"

namespace trovik::cli {
namespace {

struct LsOptions {
  bool all = false;
  bool json = false;
  std::string sort;
  std::string name_glob;
  std::string statuses;  // comma-separated; empty: every status
  int64_t limit = std::numeric_limits<int64_t>::max();
  std::string statistic = "last";  // the number that stands for a series
  bool no_cache = false;
};

// The statuses --status names, or a usage error naming the word that is none.
Result<std::set<read::RunStatus>> wanted_statuses(std::string_view list) {
  std::set<read::RunStatus> wanted;
  if (list.empty()) return wanted;
  for (;;) {
    const size_t comma = list.find(',');
    const std::string_view word = list.substr(0, comma);
    const std::optional<read::RunStatus> status = read::status_named(word);
    if (!status) {
      std::string known;
      for (const read::RunStatus each : read::kEveryStatus) {
        known += known.empty() ? "" : ", ";
        known += read::status_name(each);
      }
      return usage_error("no status '" + terminal_quoted(word) + "' (statuses: " + known + ")");
    }
    wanted.insert(*status);
    if (comma == std::string_view::npos) return wanted;
    list.remove_prefix(comma + 1);
  }
}

json::Value run_json(const read::RunSummary& s, read::RunStatus status,
                     read::SeriesStatistic statistic) {
  json::Object object;
  object.insert("status", json::Value::string(std::string(read::status_name(status))));
  object.insert("end", s.run_end ? *s.run_end : json::Value());
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
  const json::Value* metadata = s.run_start_member({"metadata"});
  object.insert("metadata", metadata != nullptr ? *metadata : json::Value());
  json::Object numbers;
  for (const read::SeriesSummary& series : s.series) {
    numbers.insert(series.name, read::series_value(series, statistic));
  }
  object.insert(std::string(read::statistic_name(statistic)),
                json::Value::object(std::move(numbers)));
  return json::Value::object(std::move(object));
}

// Columns shown only where they tell runs apart, after the settings and series that do: on a
// sweep, the git commit and the host are mostly one value across every run.
bool is_trailing_fixed(std::string_view name) { return name == "git" || name == "host"; }
// Shown whether they differ or not: a row's identity and when it ran.
bool is_always_shown(std::string_view name) {
  return name == "id" || name == "status" || name == "start";
}

// The column named by --sort ("-loss" for descending): by its header, or qualified
// ("metadata:lr"); a name that is both a metadata key and a series is ambiguous.
Result<read::ShownColumn> sort_column(const std::string& key, const read::RunTable& table,
                                      const std::vector<read::ShownColumn>& columns) {
  std::vector<const read::ShownColumn*> found;
  for (const read::ShownColumn& column : columns) {
    const size_t source = column.sources.front();
    const bool fixed = table.columns()[source].kind == read::Column::Kind::kFixed;
    if (column.header == key) return column;
    if (!fixed && (table.qualified_header(source) == key || table.columns()[source].name == key)) {
      found.push_back(&column);
    }
  }
  if (found.size() == 1) return *found.front();
  if (found.empty()) return usage_error("no column '" + key + "' to sort by");
  std::string choices;
  for (const read::ShownColumn* column : found) {
    choices += (choices.empty() ? "" : " or ") + table.qualified_header(column->sources.front());
  }
  return usage_error("'" + key + "' is both a metadata key and a series: sort by " + choices);
}

// The table's columns in the order ls shows them: the fixed facts, the metadata keys and then the
// series in natural order ("step" is the x axis, not a column), git and host last.
std::vector<read::ShownColumn> ls_columns(const read::RunTable& table,
                                          const std::vector<size_t>& rows) {
  std::vector<read::ShownColumn> leading;
  std::vector<read::ShownColumn> trailing;
  for (read::ShownColumn& column : table.fixed_columns()) {
    (is_trailing_fixed(column.header) ? trailing : leading).push_back(std::move(column));
  }
  std::vector<read::ShownColumn> values;
  for (read::ShownColumn& column : table.value_columns(rows, true)) {
    const read::Column& source = table.columns()[column.sources.front()];
    if (source.kind == read::Column::Kind::kSeries && source.name == "step") continue;
    values.push_back(std::move(column));
  }
  std::stable_sort(values.begin(), values.end(), [&](const auto& a, const auto& b) {
    const read::Column& x = table.columns()[a.sources.front()];
    const read::Column& y = table.columns()[b.sources.front()];
    if (x.kind != y.kind) return x.kind == read::Column::Kind::kMetadata;
    return read::natural_less(x.name, y.name);
  });
  leading.insert(leading.end(), std::make_move_iterator(values.begin()),
                 std::make_move_iterator(values.end()));
  leading.insert(leading.end(), std::make_move_iterator(trailing.begin()),
                 std::make_move_iterator(trailing.end()));
  return leading;
}

void write_table(const read::RunTable& table, const std::vector<read::ShownColumn>& columns,
                 const std::vector<size_t>& rows) {
  std::vector<read::TextTable::Column> layout;
  for (const read::ShownColumn& column : columns) {
    const read::Column& first = table.columns()[column.sources.front()];
    layout.push_back(
        {column.header, first.align, first.shrinkable && !table.holds_numbers(column, rows)});
  }
  read::TextTable text(layout);
  for (size_t row : rows) {
    std::vector<std::string> cells;
    std::vector<read::TextTable::Tone> tones;
    for (const read::ShownColumn& column : columns) {
      const read::Cell& cell = table.shown_cell(row, column);
      cells.push_back(cell.text());
      tones.push_back(cell.tone());
    }
    text.add_row(std::move(cells), std::move(tones));
  }
  const Terminal terminal = stdout_terminal();
  std::string out;
  const size_t left_off = text.render(terminal.width, terminal.colour, out);
  if (left_off > 0) {
    out += "(" + std::to_string(left_off) + " more columns: widen the terminal or use --json)\n";
  }
  write_out(out);
}

// A glob fnmatch would take as something else than the user meant: an unclosed bracket, or a
// backslash with nothing to escape.
bool is_valid_glob(std::string_view glob) {
  for (size_t i = 0; i < glob.size(); ++i) {
    if (glob[i] == '\\') {
      if (++i == glob.size()) return false;
    } else if (glob[i] == '[') {
      size_t close = i + 1;
      if (close < glob.size() && (glob[close] == '!' || glob[close] == '^')) ++close;
      if (close < glob.size() && glob[close] == ']') ++close;
      close = glob.find(']', close);
      if (close == std::string_view::npos) return false;
      i = close;
    }
  }
  return true;
}

Status run_ls(const LsOptions& options, const CommandContext& context) {
  if (options.limit < 1) return usage_error("-n must be at least 1");
  if (!is_valid_glob(options.name_glob)) {
    return usage_error("--name '" + options.name_glob + "' is not a valid glob");
  }
  // Every file is read whole anyway: its first line needs no separate look.
  Result<std::set<read::RunStatus>> statuses = wanted_statuses(options.statuses);
  if (!statuses.ok()) return std::move(statuses).status();
  const std::vector<read::RunFileEntry> entries = context.runs(false);
  const read::SeriesStatistic statistic = *read::statistic_named(options.statistic);
  read::RunTable::Options table_options{read::now_ns(), &read::system_process_probe(), {statistic}};
  table_options.short_start = !options.all;
  read::RunTable table(std::move(table_options));
  // Each listed run's JSON text, by row; held as text, it takes a fraction of its value tree.
  std::vector<std::string> listed_json;
  std::vector<size_t> row_entries;  // the entry of each row, rows being added in any order
  std::vector<std::pair<size_t, Status>> skipped;  // entries that could not be read
  read::SummaryCacheUse cache;
  if (!options.no_cache) cache.directory = read::summary_cache_directory();
  cache.complete_listing = true;
  read::read_run_summaries(
      entries, cache, read::reading_threads(), [&](size_t index, Result<read::RunSummary>&& run) {
        if (!run.ok()) {
          skipped.emplace_back(index, std::move(run).status());
          return;
        }
        const read::RunSummary& summary = run.value();
        if (!options.name_glob.empty() &&
            ::fnmatch(options.name_glob.c_str(), summary.name.c_str(), 0) != 0) {
          return;
        }
        const read::RunStatus status = read::run_status(summary, read::system_process_probe());
        if (!statuses.value().empty() && !statuses.value().contains(status)) return;
        table.add(summary, entries[index].started_ns);
        row_entries.push_back(index);
        if (options.json) {
          listed_json.push_back(json::to_json_text(run_json(summary, status, statistic)));
          listed_json.back().shrink_to_fit();
        }
      });
  std::sort(skipped.begin(), skipped.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [index, status] : skipped) {
    report_warning("skipped " + entries[index].path + ": " + status.message());
  }

  // Rows in the order of the listing, then newest first.
  std::vector<size_t> order(table.row_count());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return row_entries[a] < row_entries[b]; });
  table.sort_rows(order, *table.fixed_column("start"), true);
  const std::vector<read::ShownColumn> columns = ls_columns(table, order);
  std::optional<read::ShownColumn> sorted_by;
  if (!options.sort.empty()) {
    const bool descending = options.sort.front() == '-';
    const std::string key = descending ? options.sort.substr(1) : options.sort;
    Result<read::ShownColumn> column = sort_column(key, table, columns);
    if (!column.ok()) return std::move(column).status();
    sorted_by = std::move(column).value();
    table.sort_rows(order, *sorted_by, descending);
  }
  // Which columns tell runs apart is decided over every run that matched, not only those shown.
  std::vector<read::ShownColumn> shown;
  for (const read::ShownColumn& column : columns) {
    const read::Column& source = table.columns()[column.sources.front()];
    const bool fixed = source.kind == read::Column::Kind::kFixed;
    if (options.all || order.size() == 1 || (fixed && is_always_shown(source.name)) ||
        (sorted_by && sorted_by->header == column.header) || table.differs(column, order)) {
      shown.push_back(column);
    }
  }
  if (order.size() > static_cast<uint64_t>(options.limit)) {
    order.resize(static_cast<size_t>(options.limit));
  }

  if (options.json) {
    // Written a part at a time: the whole document would double what the runs' texts take.
    std::string out = "[";
    for (size_t i = 0; i < order.size(); ++i) {
      if (i > 0) out += ',';
      out += listed_json[order[i]];
      std::string().swap(listed_json[order[i]]);
      if (out.size() > (size_t{1} << 16)) {
        write_out_utf8(out);
        out.clear();
      }
    }
    out += "]\n";
    write_out_utf8(out);
    return Status::Ok();
  }
  if (order.empty()) {
    write_out("no runs found\n");
    return Status::Ok();
  }
  write_table(table, shown, order);
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
  ls->add_option("--status", options->statuses,
                 "only runs of these statuses, comma-separated: completed, failed, interrupted, "
                 "running, stopped, unknown")
      ->type_name("LIST");
  ls->add_option("-n", options->limit, "show at most N runs (the first N in the order shown)")
      ->type_name("N");
  ls->add_flag("--json", options->json, "print one JSON array instead of the table");
  ls->add_flag("--no-cache", options->no_cache,
               "read every run file, neither using nor updating the summary cache");
  ls->add_option("--stat", options->statistic,
                 "the number shown for each series: last (default), min or max")
      ->check(CLI::IsMember({"last", "min", "max"}))
      ->type_name("STAT");
  ls->callback([options, &context] {
    context.command = [options, &context] { return run_ls(*options, context); };
  });
}

}  // namespace trovik::cli
