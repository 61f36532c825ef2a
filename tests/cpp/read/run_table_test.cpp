#include "read/run_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "json/reader.h"
#include "support/fake_process_probe.h"

namespace trovik::read {
namespace {

json::Value number(double value) { return json::Value::number(value); }

struct CellPair {
  const char* what;
  Cell a;
  Cell b;
  bool same;
};

class DiffersRule : public testing::TestWithParam<CellPair> {};

TEST_P(DiffersRule, ComparesValuesNotTheirText) {
  EXPECT_EQ(same_value(GetParam().a, GetParam().b), GetParam().same) << GetParam().what;
  EXPECT_EQ(same_value(GetParam().b, GetParam().a), GetParam().same) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Cells, DiffersRule,
    testing::Values(
        CellPair{"both absent", Cell(), Cell(), true},
        CellPair{"absent and empty text", Cell(), Cell::recorded(json::Value::string("")), false},
        CellPair{"absent and zero", Cell(), Cell::recorded(number(0)), false},
        CellPair{"one 6-digit text", Cell::recorded(number(0.1234561)),
                 Cell::recorded(number(0.1234564)), false},
        CellPair{"integer and double", Cell::recorded(json::Value::unsigned_integer(1)),
                 Cell::recorded(number(1.0)), false},
        CellPair{"signed zeros", Cell::recorded(number(0.0)), Cell::recorded(number(-0.0)), true},
        CellPair{"equal objects", Cell::recorded(json::read_json(R"({"a":[1,"x"]})").value()),
                 Cell::recorded(json::read_json(R"({"a":[1,"x"]})").value()), true},
        CellPair{"texts", Cell::text("main"), Cell::text("main"), true}));

std::vector<std::string> sorted_texts(std::vector<Cell> cells, bool descending) {
  std::stable_sort(cells.begin(), cells.end(),
                   [&](const Cell& a, const Cell& b) { return sorts_before(a, b, descending); });
  std::vector<std::string> texts;
  for (const Cell& cell : cells) texts.push_back(cell.present() ? cell.text() : "-");
  return texts;
}

TEST(CellSort, NumbersByValueTextsAsTextAbsentLast) {
  const std::vector<Cell> numbers = {
      Cell::recorded(number(0.1234564)), Cell(), Cell::recorded(number(0.1234561)),
      Cell::recorded(json::Value::unsigned_integer(10)), Cell::recorded(number(2))};
  // The two that print alike keep their order by value, in both directions.
  EXPECT_EQ(sorted_texts(numbers, false),
            (std::vector<std::string>{"0.123456", "0.123456", "2", "10", "-"}));
  EXPECT_EQ(numbers[2].sort_number(), static_cast<long double>(0.1234561));
  std::vector<Cell> ascending = numbers;
  std::stable_sort(ascending.begin(), ascending.end(),
                   [](const Cell& a, const Cell& b) { return sorts_before(a, b, false); });
  EXPECT_EQ(ascending[0].sort_number(), static_cast<long double>(0.1234561));
  EXPECT_EQ(sorted_texts(numbers, true),
            (std::vector<std::string>{"10", "2", "0.123456", "0.123456", "-"}));

  // 64-bit integers beyond a double's 53 bits still order exactly.
  const std::vector<Cell> wide = {Cell::recorded(json::Value::unsigned_integer(UINT64_MAX)),
                                  Cell::recorded(json::Value::unsigned_integer(UINT64_MAX - 1))};
  EXPECT_EQ(sorted_texts(wide, false).front(), "18446744073709551614");
  EXPECT_EQ(sorted_texts({Cell::text("b"), Cell(), Cell::text("a")}, true),
            (std::vector<std::string>{"b", "a", "-"}));
}

// A run with a start, metadata given as JSON text and series given as (name, last value).
RunSummary run(const std::string& id, int64_t started_s, const std::string& metadata,
               const std::vector<std::pair<std::string, double>>& series) {
  RunSummary summary;
  summary.run_id = id;
  summary.name = "train";
  summary.records = 1 + series.size();
  summary.created_at = "2024-01-01T00:00:0" + std::to_string(started_s) + "+00:00";
  summary.run_start = json::read_json(R"({"host":{"hostname":"here"},"process":{"pid":7},)"
                                      R"("metadata":)" +
                                      metadata + "}")
                          .value();
  for (const auto& [name, last] : series) {
    SeriesSummary s;
    s.name = name;
    s.count = 2;
    s.last = last;
    s.min = last - 1;
    s.max = last + 1;
    summary.series.push_back(s);
  }
  return summary;
}

std::vector<std::string> headers(const std::vector<ShownColumn>& columns) {
  std::vector<std::string> names;
  for (const ShownColumn& column : columns) names.push_back(column.header);
  return names;
}

class Table : public testing::Test {
 protected:
  Table() : probe_("here") {}
  testing_support::FakeProcessProbe probe_;
};

TEST_F(Table, ListsRunsAsLsDoes) {
  probe_.add(7, 0);  // the process of every run here is still running
  RunTable table({0, &probe_});
  table.add(run("aaaaaaaa-1", 1, R"({"lr":0.1,"model":"mlp"})", {{"loss", 0.1234561}}), 0);
  table.add(run("bbbbbbbb-2", 3, R"({"lr":0.1,"model":"cnn","seed":2})", {{"loss", 0.1234564}}), 0);
  table.add(run("cccccccc-3", 2, R"({"lr":0.5})", {{"lr", 0.25}, {"acc", 0.5}}), 0);
  ASSERT_EQ(table.row_count(), 3u);

  std::vector<size_t> rows = {0, 1, 2};
  table.sort_rows(rows, *table.fixed_column("start"), true);
  EXPECT_EQ(rows, (std::vector<size_t>{1, 2, 0}));
  const std::vector<ShownColumn> values = table.value_columns(rows);
  // Row by row, each row's metadata before its series; a series named as a metadata key is a
  // column of its own, and both say which they are.
  EXPECT_EQ(headers(values),
            (std::vector<std::string>{"metadata:lr", "model", "seed", "loss", "series:lr", "acc"}));
  EXPECT_EQ(table.shown_cell(2, values[0]).text(), "0.5");
  EXPECT_EQ(table.shown_cell(2, values[4]).text(), "0.25");
  EXPECT_EQ(table.shown_cell(0, values[0]).text(), "0.1");
  EXPECT_FALSE(table.shown_cell(0, values[4]).present());

  const ShownColumn& loss = values[3];
  table.sort_rows(rows, loss, true);
  EXPECT_EQ(rows, (std::vector<size_t>{1, 0, 2}));  // the run without a loss last
  std::vector<ShownColumn> columns = table.fixed_columns();
  columns.insert(columns.end(), values.begin(), values.end());
  const std::vector<size_t> first_two = {1, 0};
  EXPECT_EQ(headers(table.columns_to_show(columns, first_two, false)),
            (std::vector<std::string>{"id", "name", "status", "start", "duration", "records", "git",
                                      "host", "model", "seed", "loss"}));
  EXPECT_EQ(table.columns_to_show(columns, {2}, false).size(), columns.size());

  const ShownColumn duration = *table.fixed_column("duration");
  EXPECT_EQ(table.shown_cell(0, duration).text(), "live ");
  EXPECT_EQ(table.shown_cell(0, duration).tone(), TextTable::Tone::kGood);
  EXPECT_EQ(table.shown_cell(0, *table.fixed_column("status")).text(), "running");
  EXPECT_EQ(table.shown_cell(0, *table.fixed_column("id")).text(), "aaaaaaaa");
}

TEST_F(Table, ComparesEveryMetadataKeyBeforeTheSeriesNumbers) {
  RunTable table(
      {0, &probe_, {SeriesStatistic::kLast, SeriesStatistic::kMin, SeriesStatistic::kMax}, true});
  table.add(run("aaaaaaaa-1", 1, R"({"lr":0.1})", {{"loss", 2}}), 0);
  table.add(run("bbbbbbbb-2", 2, R"(["not", "an", "object"])", {{"acc", 1}}), 0);
  const std::vector<size_t> rows = {0, 1};
  EXPECT_EQ(headers(table.value_columns(rows, true)),
            (std::vector<std::string>{"lr", "metadata", "loss last", "loss min", "loss max",
                                      "acc last", "acc min", "acc max"}));
  EXPECT_EQ(table.shown_cell(0, table.value_columns(rows, true)[3]).text(), "1");
  EXPECT_EQ(table.shown_cell(1, table.value_columns(rows, true)[1]).text(),
            R"(["not","an","object"])");
  EXPECT_FALSE(table.shown_cell(1, table.value_columns(rows, true)[0]).present());
}

}  // namespace
}  // namespace trovik::read
