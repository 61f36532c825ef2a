#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "read/process_probe.h"
#include "read/run_summary.h"
#include "read/table_cell.h"
#include "read/text_table.h"

namespace trovik::read {

// The number that stands for a series wherever a run is one row: its last value, or its least or
// greatest. Chosen here only.
enum class SeriesStatistic { kLast, kMin, kMax };
double series_number(const SeriesSummary& series, SeriesStatistic statistic);
// That number as the run file writes it (empty when no text was kept), and as a JSON value for
// outputs that print recorded numbers (see recorded_number).
const NumberText& series_token(const SeriesSummary& series, SeriesStatistic statistic);
json::Value series_value(const SeriesSummary& series, SeriesStatistic statistic);
// The statistic a name ("last", "min", "max") stands for.
std::optional<SeriesStatistic> statistic_named(std::string_view name);
std::string_view statistic_name(SeriesStatistic statistic);

// A column of a run table: a fixed fact of every run, a metadata key, or one number of a series.
struct Column {
  enum class Kind { kFixed, kMetadata, kSeries };
  Kind kind = Kind::kFixed;
  std::string name;  // the fixed column's name, the metadata key, the series name
  SeriesStatistic statistic = SeriesStatistic::kLast;  // of a series column
  std::string header;                                  // what a table shows above it
  TextTable::Align align = TextTable::Align::kRight;
  bool shrinkable = true;
};

// A column as a table shows it. A metadata key and a series of the same name are two columns,
// their headers qualified ("metadata:lr", "series:lr") where both occur.
struct ShownColumn {
  std::string header;
  std::vector<size_t> sources;  // columns of the RunTable, metadata before series
};

// The runs as rows of typed cells: fixed columns (id, name, start, duration, records, git, host),
// then one column per metadata key and per series number. `ls`, `compare` and the report's run
// table are views of it. A row keeps only its cells: a run's summary can be dropped once it is
// added.
class RunTable {
 public:
  struct Options {
    int64_t now_ns = 0;                   // ages ("5m ago") are told relative to it
    const ProcessProbe* probe = nullptr;  // tells which runs are still running
    // A column for each of these numbers of every series.
    std::vector<SeriesStatistic> statistics = {SeriesStatistic::kLast};
    bool statistic_in_header = false;  // "loss last" rather than "loss"
    bool short_start = false;          // the start as its age alone ("13m ago")
  };
  explicit RunTable(Options options);

  // Adds a row for `run`. `fallback_start_ns` stands for its start when it records none that can be
  // read (the file's modification time).
  void add(const RunSummary& run, int64_t fallback_start_ns);

  size_t row_count() const { return rows_.size(); }
  const std::vector<Column>& columns() const { return columns_; }
  const Cell& cell(size_t row, size_t column) const;

  // The fixed columns, in their order.
  std::vector<ShownColumn> fixed_columns() const;
  // The fixed column of that name ("start"), if there is one.
  std::optional<ShownColumn> fixed_column(std::string_view name) const;
  // The metadata and series columns that `rows` have, in the order they first appear: row by row
  // (each row's metadata, then its series), or with `metadata_first` every metadata column before
  // any series column. A name that is both a metadata key and a series among `rows` has its two
  // headers qualified (qualified_header).
  std::vector<ShownColumn> value_columns(const std::vector<size_t>& rows,
                                         bool metadata_first = false) const;
  // Of `columns`, the fixed ones and those whose cells differ between `rows`; all of them with
  // `every_column` or a single row.
  std::vector<ShownColumn> columns_to_show(const std::vector<ShownColumn>& columns,
                                           const std::vector<size_t>& rows,
                                           bool every_column) const;

  // "metadata:lr" or "series:lr" (with the statistic when headers show it): the header of a column
  // whose name is both a metadata key and a series, and a name --sort accepts for any of them.
  std::string qualified_header(size_t column) const;

  const Cell& shown_cell(size_t row, const ShownColumn& column) const;
  // Whether every value `rows` have in this column is a recorded number: a column that a table
  // should leave off whole rather than cut, since a number cut short reads as another number.
  bool holds_numbers(const ShownColumn& column, const std::vector<size_t>& rows) const;
  // Whether `rows` differ in this column (same_value).
  bool differs(const ShownColumn& column, const std::vector<size_t>& rows) const;
  // Sorts `rows` by this column (sorts_before), keeping the order of rows that sort alike.
  void sort_rows(std::vector<size_t>& rows, const ShownColumn& column, bool descending) const;

 private:
  struct ValueCell {
    uint32_t column;
    Cell cell;
  };
  struct Row {
    std::vector<Cell> fixed;
    std::vector<ValueCell> values;    // in the order the run has them
    std::vector<uint32_t> by_column;  // positions in `values`, ordered by column
  };
  struct TransparentHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
  };
  using ColumnIndex = std::unordered_map<std::string, uint32_t, TransparentHash, std::equal_to<>>;

  uint32_t value_column(Column::Kind kind, std::string_view name, SeriesStatistic statistic);

  Options options_;
  std::vector<Column> columns_;
  std::vector<Row> rows_;
  ColumnIndex metadata_columns_;
  std::array<ColumnIndex, 3> series_columns_;  // one index per SeriesStatistic
};

}  // namespace trovik::read
