#include "read/run_table.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <unordered_set>

#include "read/recorded_number.h"
#include "read/run_facts.h"
#include "read/run_status.h"
#include "read/short_names.h"
#include "read/text_format.h"
#include "read/timestamp.h"

namespace trovik::read {
namespace {

// What a fixed column's cell is made of.
struct RowSource {
  const RunSummary& run;
  int64_t started_ns;  // recorded, else the caller's fallback
  RunStatus status;
  bool live;
  int64_t now_ns;
  bool start_recorded;
  bool short_start;
};

Cell id_cell(const RowSource& row) { return Cell::text(short_run_id(row.run.run_id)); }

Cell name_cell(const RowSource& row) { return Cell::text(row.run.name); }

Cell status_cell(const RowSource& row) {
  Cell cell = Cell::text(std::string(status_name(row.status)));
  switch (row.status) {
    case RunStatus::kCompleted:
      return cell;
    case RunStatus::kRunning:
      return cell.tone(TextTable::Tone::kGood);
    case RunStatus::kFailed:
    case RunStatus::kInterrupted:
      return cell.tone(TextTable::Tone::kBad);
    case RunStatus::kStopped:
      return cell.tone(TextTable::Tone::kWarn);
    case RunStatus::kUnknown:
      break;
  }
  // Nothing can be known from here but when the run last wrote.
  const std::optional<int64_t> last = last_record_ns(row.run);
  if (last) cell = Cell::text("unknown (" + format_age(*last, row.now_ns) + ")");
  return cell.tone(TextTable::Tone::kDim);
}

// A run without a start time sorts as the oldest: a broken file is never the newest run.
Cell start_cell(const RowSource& row) {
  if (!row.start_recorded) return Cell::counted("?", std::numeric_limits<int64_t>::min());
  std::string age = format_age(row.started_ns, row.now_ns);
  if (row.short_start) return Cell::counted(std::move(age), row.started_ns);
  return Cell::counted(format_local_time(row.started_ns) + " (" + age + ")", row.started_ns);
}

Cell duration_cell(const RowSource& row) {
  const std::optional<uint64_t> ms =
      row.run.run_end_elapsed_ms ? row.run.run_end_elapsed_ms : row.run.elapsed_ms;
  std::string text = ms ? format_duration_ms(*ms) : "";
  if (!row.live) return Cell::counted(std::move(text), ms);
  return Cell::counted("live " + text, ms).tone(TextTable::Tone::kGood);
}

Cell records_cell(const RowSource& row) {
  const RunSummary& run = row.run;
  Cell cell = Cell::counted(std::to_string(run.records) + (run.torn ? "+torn" : ""),
                            static_cast<int64_t>(run.records));
  if (run.torn || run.bad_lines > 0) cell.tone(TextTable::Tone::kWarn);
  return cell;
}

// The commit, `*` when the work tree was dirty. No branch: a dirty run's is always its snapshot
// branch, run/<id>, and a clean run's tells less than the commit.
Cell git_cell(const RowSource& row) {
  const std::optional<GitFacts> git = git_facts(row.run);
  if (!git) return {};
  return Cell::text(short_commit(git->commit) + (git->dirty ? "*" : ""));
}

Cell host_cell(const RowSource& row) { return Cell::text(hostname_of(row.run).value_or("")); }

struct FixedColumn {
  std::string_view name;
  TextTable::Align align;
  bool shrinkable;
  Cell (*cell)(const RowSource&);
};

// Every run's facts, in the order tables show them: a new fact is one line here.
constexpr FixedColumn kFixedColumns[] = {
    {"id", TextTable::Align::kLeft, false, id_cell},
    {"name", TextTable::Align::kLeft, true, name_cell},
    {"status", TextTable::Align::kLeft, false, status_cell},
    {"start", TextTable::Align::kLeft, false, start_cell},
    {"duration", TextTable::Align::kRight, false, duration_cell},
    {"records", TextTable::Align::kRight, false, records_cell},
    {"git", TextTable::Align::kLeft, true, git_cell},
    {"host", TextTable::Align::kLeft, true, host_cell},
};
constexpr size_t kFixedCount = std::size(kFixedColumns);

const Cell kAbsent;

// Stands for the probe of a table given none: no process can be seen from it.
class NoProcessProbe final : public ProcessProbe {
 public:
  std::string host_name() const override { return {}; }
  bool process_exists(int64_t /*pid*/) const override { return false; }
  std::optional<int64_t> process_started_ns(int64_t /*pid*/) const override { return std::nullopt; }
};
const NoProcessProbe kNoProbe;

}  // namespace

double series_number(const SeriesSummary& series, SeriesStatistic statistic) {
  switch (statistic) {
    case SeriesStatistic::kMin:
      return series.min;
    case SeriesStatistic::kMax:
      return series.max;
    case SeriesStatistic::kLast:
      break;
  }
  return series.last;
}

const NumberText& series_token(const SeriesSummary& series, SeriesStatistic statistic) {
  switch (statistic) {
    case SeriesStatistic::kMin:
      return series.min_token;
    case SeriesStatistic::kMax:
      return series.max_token;
    case SeriesStatistic::kLast:
      break;
  }
  return series.last_token;
}

json::Value series_value(const SeriesSummary& series, SeriesStatistic statistic) {
  return recorded_number(series_token(series, statistic).view(), series_number(series, statistic));
}

std::optional<SeriesStatistic> statistic_named(std::string_view name) {
  for (SeriesStatistic statistic :
       {SeriesStatistic::kLast, SeriesStatistic::kMin, SeriesStatistic::kMax}) {
    if (statistic_name(statistic) == name) return statistic;
  }
  return std::nullopt;
}

std::string_view statistic_name(SeriesStatistic statistic) {
  switch (statistic) {
    case SeriesStatistic::kMin:
      return "min";
    case SeriesStatistic::kMax:
      return "max";
    case SeriesStatistic::kLast:
      break;
  }
  return "last";
}

RunTable::RunTable(Options options) : options_(std::move(options)) {
  for (const FixedColumn& fixed : kFixedColumns) {
    columns_.push_back({Column::Kind::kFixed, std::string(fixed.name), SeriesStatistic::kLast,
                        std::string(fixed.name), fixed.align, fixed.shrinkable});
  }
}

void RunTable::add(const RunSummary& run, int64_t fallback_start_ns) {
  const std::optional<int64_t> recorded_start = started_ns(run);
  const RunStatus status = run_status(run, options_.probe != nullptr ? *options_.probe : kNoProbe);
  const RowSource source{run,
                         recorded_start.value_or(fallback_start_ns),
                         status,
                         status == RunStatus::kRunning,
                         options_.now_ns,
                         recorded_start.has_value(),
                         options_.short_start};
  Row row;
  row.fixed.reserve(kFixedCount);
  for (const FixedColumn& fixed : kFixedColumns) row.fixed.push_back(fixed.cell(source));

  const auto metadata = metadata_values(run);
  // Sized once: a table of many runs holds every row's cells.
  row.values.reserve(metadata.size() + run.series.size() * options_.statistics.size());
  for (const auto& [key, value] : metadata) {
    row.values.push_back({value_column(Column::Kind::kMetadata, key, SeriesStatistic::kLast),
                          Cell::recorded(*value)});
  }
  for (const SeriesSummary& series : run.series) {
    for (SeriesStatistic statistic : options_.statistics) {
      row.values.push_back({value_column(Column::Kind::kSeries, series.name, statistic),
                            Cell::recorded(json::Value::number(series_number(series, statistic)))});
    }
  }
  row.by_column.resize(row.values.size());
  std::iota(row.by_column.begin(), row.by_column.end(), 0);
  std::sort(row.by_column.begin(), row.by_column.end(),
            [&](uint32_t a, uint32_t b) { return row.values[a].column < row.values[b].column; });
  rows_.push_back(std::move(row));
}

uint32_t RunTable::value_column(Column::Kind kind, std::string_view name,
                                SeriesStatistic statistic) {
  ColumnIndex& index = kind == Column::Kind::kMetadata
                           ? metadata_columns_
                           : series_columns_[static_cast<size_t>(statistic)];
  if (auto found = index.find(name); found != index.end()) return found->second;
  const auto id = static_cast<uint32_t>(columns_.size());
  std::string header(name);
  if (kind == Column::Kind::kSeries && options_.statistic_in_header) {
    header += ' ';
    header += statistic_name(statistic);
  }
  columns_.push_back(
      {kind, std::string(name), statistic, std::move(header), TextTable::Align::kRight, true});
  index.emplace(std::string(name), id);
  return id;
}

const Cell& RunTable::cell(size_t row, size_t column) const {
  const Row& r = rows_[row];
  if (column < kFixedCount) return r.fixed[column];
  auto found = std::lower_bound(
      r.by_column.begin(), r.by_column.end(), column,
      [&](uint32_t position, size_t wanted) { return r.values[position].column < wanted; });
  if (found == r.by_column.end() || r.values[*found].column != column) return kAbsent;
  return r.values[*found].cell;
}

std::vector<ShownColumn> RunTable::fixed_columns() const {
  std::vector<ShownColumn> fixed;
  for (size_t c = 0; c < kFixedCount; ++c) fixed.push_back({columns_[c].header, {c}});
  return fixed;
}

std::optional<ShownColumn> RunTable::fixed_column(std::string_view name) const {
  for (size_t c = 0; c < kFixedCount; ++c) {
    if (kFixedColumns[c].name == name) return ShownColumn{columns_[c].header, {c}};
  }
  return std::nullopt;
}

std::vector<ShownColumn> RunTable::value_columns(const std::vector<size_t>& rows,
                                                 bool metadata_first) const {
  // Columns in the order first met, then merged by header in that order.
  std::vector<size_t> met;
  std::vector<bool> seen(columns_.size(), false);
  auto meet = [&](bool metadata_pass, bool series_pass) {
    for (size_t row : rows) {
      for (const ValueCell& value : rows_[row].values) {
        const bool metadata = columns_[value.column].kind == Column::Kind::kMetadata;
        if ((metadata ? metadata_pass : series_pass) && !seen[value.column]) {
          seen[value.column] = true;
          met.push_back(value.column);
        }
      }
    }
  };
  if (metadata_first) {
    meet(true, false);
    meet(false, true);
  } else {
    meet(true, true);
  }
  std::unordered_set<std::string_view> metadata_names;
  std::unordered_set<std::string_view> series_names;
  for (size_t column : met) {
    (columns_[column].kind == Column::Kind::kMetadata ? metadata_names : series_names)
        .insert(columns_[column].name);
  }
  std::vector<ShownColumn> shown;
  for (size_t column : met) {
    const std::string& name = columns_[column].name;
    const bool both = metadata_names.contains(name) && series_names.contains(name);
    shown.push_back({both ? qualified_header(column) : columns_[column].header, {column}});
  }
  return shown;
}

std::vector<ShownColumn> RunTable::columns_to_show(const std::vector<ShownColumn>& columns,
                                                   const std::vector<size_t>& rows,
                                                   bool every_column) const {
  std::vector<ShownColumn> shown;
  for (const ShownColumn& column : columns) {
    const bool fixed = column.sources.size() == 1 && column.sources.front() < kFixedCount;
    if (fixed || every_column || rows.size() == 1 || differs(column, rows)) {
      shown.push_back(column);
    }
  }
  return shown;
}

std::string RunTable::qualified_header(size_t column) const {
  const Column& c = columns_[column];
  return (c.kind == Column::Kind::kMetadata ? "metadata:" : "series:") + c.header;
}

const Cell& RunTable::shown_cell(size_t row, const ShownColumn& column) const {
  const Cell* shown = &kAbsent;
  for (size_t source : column.sources) {
    const Cell& candidate = cell(row, source);
    if (candidate.present()) shown = &candidate;
  }
  return *shown;
}

bool RunTable::holds_numbers(const ShownColumn& column, const std::vector<size_t>& rows) const {
  return std::all_of(rows.begin(), rows.end(), [&](size_t row) {
    const Cell& value = shown_cell(row, column);
    return !value.present() || (value.recorded_value() != nullptr && value.sort_number());
  });
}

bool RunTable::differs(const ShownColumn& column, const std::vector<size_t>& rows) const {
  for (size_t i = 1; i < rows.size(); ++i) {
    if (!same_value(shown_cell(rows[i], column), shown_cell(rows[0], column))) return true;
  }
  return false;
}

void RunTable::sort_rows(std::vector<size_t>& rows, const ShownColumn& column,
                         bool descending) const {
  // Each row's cell and number looked up once, not at each of the n log n comparisons.
  struct Key {
    const Cell* cell;
    std::optional<long double> number;
  };
  std::vector<Key> keys(rows_.size());
  for (size_t row : rows) {
    const Cell& cell = shown_cell(row, column);
    keys[row] = {&cell, cell.sort_number()};
  }
  std::stable_sort(rows.begin(), rows.end(), [&](size_t a, size_t b) {
    const Key& key_a = keys[a];
    const Key& key_b = keys[b];
    if (key_a.number && key_b.number && key_a.cell->present() && key_b.cell->present()) {
      return descending ? *key_a.number > *key_b.number : *key_a.number < *key_b.number;
    }
    return sorts_before(*key_a.cell, *key_b.cell, descending);
  });
}

}  // namespace trovik::read
