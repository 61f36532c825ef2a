// trovik ls: one row per run, newest first, with the metadata and series that tell runs apart.

#include <fnmatch.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/failure.h"
#include "cli/output.h"
#include "json/writer.h"
#include "read/run_batch.h"
#include "read/run_facts.h"
#include "read/run_table.h"
#include "read/summary_cache.h"
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
  std::string statistic = "last";  // the number that stands for a series
  bool no_cache = false;
};

json::Value run_json(const read::RunSummary& s, read::SeriesStatistic statistic) {
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

// The column named by --sort ("-loss" for descending), fixed ones first.
std::optional<read::ShownColumn> sort_column(const std::string& key,
                                             const std::vector<read::ShownColumn>& columns) {
  auto found = std::find_if(columns.begin(), columns.end(),
                            [&](const read::ShownColumn& c) { return c.header == key; });
  if (found == columns.end()) return std::nullopt;
  return *found;
}

void write_table(const read::RunTable& table, const std::vector<read::ShownColumn>& columns,
                 const std::vector<size_t>& rows) {
  std::vector<read::TextTable::Column> layout;
  for (const read::ShownColumn& column : columns) {
    const read::Column& first = table.columns()[column.sources.front()];
    layout.push_back({column.header, first.align, first.shrinkable});
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

Status run_ls(const LsOptions& options, const CommandContext& context) {
  // Every file is read whole anyway: its first line needs no separate look.
  const std::vector<read::RunFileEntry> entries = context.runs(false);
  const read::SeriesStatistic statistic = *read::statistic_named(options.statistic);
  read::RunTable table({read::now_ns(), &read::system_process_probe(), {statistic}});
  // Each listed run's JSON text, by row; held as text, it takes a fraction of its value tree.
  std::vector<std::string> listed_json;
  std::vector<size_t> row_entries;  // the entry of each row, rows being added in any order
  std::optional<std::pair<size_t, Status>> failure;  // of the first entry that failed
  read::SummaryCacheUse cache;
  if (!options.no_cache) cache.directory = read::summary_cache_directory();
  cache.complete_listing = true;
  read::read_run_summaries(
      entries, cache, read::reading_threads(), [&](size_t index, Result<read::RunSummary>&& run) {
        if (!run.ok()) {
          if (!failure || index < failure->first) failure.emplace(index, std::move(run).status());
          return;
        }
        const read::RunSummary& summary = run.value();
        if (!options.name_glob.empty() &&
            ::fnmatch(options.name_glob.c_str(), summary.name.c_str(), 0) != 0) {
          return;
        }
        table.add(summary, entries[index].started_ns);
        row_entries.push_back(index);
        if (options.json) {
          listed_json.push_back(json::to_json_text(run_json(summary, statistic)));
          listed_json.back().shrink_to_fit();
        }
      });
  if (failure) return std::move(failure->second);

  // Rows in the order of the listing, then newest first.
  std::vector<size_t> order(table.row_count());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return row_entries[a] < row_entries[b]; });
  table.sort_rows(order, *table.fixed_column("start"), true);
  // Fixed columns, then one per metadata key and per series, in the order first seen.
  std::vector<read::ShownColumn> columns = table.fixed_columns();
  for (read::ShownColumn& column : table.value_columns(order)) columns.push_back(std::move(column));
  if (!options.sort.empty()) {
    const bool descending = options.sort.front() == '-';
    const std::string key = descending ? options.sort.substr(1) : options.sort;
    const std::optional<read::ShownColumn> column = sort_column(key, columns);
    if (!column) return usage_error("no column '" + key + "' to sort by");
    table.sort_rows(order, *column, descending);
  }
  if (options.limit > 0 && order.size() > options.limit) order.resize(options.limit);

  if (options.json) {
    // Written a part at a time: the whole document would double what the runs' texts take.
    std::string out = "[";
    for (size_t i = 0; i < order.size(); ++i) {
      if (i > 0) out += ',';
      out += listed_json[order[i]];
      std::string().swap(listed_json[order[i]]);
      if (out.size() > (size_t{1} << 16)) {
        write_out(out);
        out.clear();
      }
    }
    out += "]\n";
    write_out(out);
    return Status::Ok();
  }
  if (order.empty()) {
    write_out("no runs found\n");
    return Status::Ok();
  }
  // A metadata or series column is shown when its cells differ between the listed runs.
  write_table(table, table.columns_to_show(columns, order, options.all), order);
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
