#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "read/text_format.h"
#include "read/text_table.h"

namespace trovik::read {
namespace {

std::vector<SeriesPoint> points_of(const std::vector<double>& values) {
  std::vector<SeriesPoint> points;
  for (double value : values) points.push_back(SeriesPoint{0, value, 0, 0, false});
  return points;
}

TEST(TextFormat, SparklineScalesBetweenTheExtremesAndAveragesBuckets) {
  EXPECT_EQ(sparkline(points_of({0, 7, 3.5}), 10, true), "_@+");
  EXPECT_EQ(sparkline(points_of({1, 3, 5, 7, 9, 11, 13, 15}), 4, true), "_-*@");
  EXPECT_EQ(sparkline(points_of({2, 2, 2}), 10, true), "___");
  EXPECT_EQ(sparkline(points_of({0, 1}), 10, false), "▁█");
  EXPECT_EQ(sparkline({}, 10, false), "");
}

TEST(TextFormat, ShellQuotingKeepsEveryWordWhole) {
  EXPECT_EQ(shell_quote({"python", "train.py", "--lr=0.1"}), "python train.py --lr=0.1");
  EXPECT_EQ(shell_quote({"echo", "two words", "", "it's", "$HOME"}),
            "echo 'two words' '' 'it'\\''s' '$HOME'");
}

TEST(TextFormat, NumbersAndWidths) {
  EXPECT_EQ(format_number(0.1 + 0.2), "0.3");
  EXPECT_EQ(format_number(1234567), "1.23457e+06");
  EXPECT_EQ(format_number(-0.0), "0");
  EXPECT_EQ(format_difference(-0.09000000000000001), "-0.09");
  EXPECT_EQ(format_difference(2), "+2");
  EXPECT_EQ(display_width("héllo"), 5u);
  EXPECT_EQ(truncate_to_width("héllo wörld", 6), "héllo…");
  EXPECT_EQ(truncate_to_width("short", 6), "short");
}

TEST(TextFormat, NaturalOrderComparesRunsOfDigitsAsNumbers) {
  std::vector<std::string> names = {"k10", "k2", "val.loss", "k02x", "k1", "b", "k", "k100", "a9z"};
  std::sort(names.begin(), names.end(), natural_less);
  EXPECT_EQ(names, (std::vector<std::string>{"a9z", "b", "k", "k1", "k2", "k02x", "k10", "k100",
                                             "val.loss"}));
}

TEST(TextTable, FitsTheWidthByCuttingThenLeavingOffColumns) {
  TextTable table({{"id", TextTable::Align::kLeft, false},
                   {"name", TextTable::Align::kLeft, true},
                   {"loss", TextTable::Align::kRight, false}});
  table.add_row({"abc", "a-rather-long-experiment-name", "0.5"});
  table.add_row({"def", "short", "12.25"});
  std::string wide;
  EXPECT_EQ(table.render(0, false, wide), 0u);
  EXPECT_EQ(wide,
            "id   name                            loss\n"
            "abc  a-rather-long-experiment-name    0.5\n"
            "def  short                          12.25\n");
  std::string cut;
  EXPECT_EQ(table.render(24, false, cut), 0u);
  size_t lines = 0;
  for (size_t start = 0; start < cut.size(); ++lines) {
    const size_t end = cut.find('\n', start);
    EXPECT_LE(display_width(cut.substr(start, end - start)), 24u) << cut;
    start = end + 1;
  }
  EXPECT_EQ(lines, 3u);
  EXPECT_NE(cut.find("…    0.5\n"), std::string::npos) << cut;
  EXPECT_NE(cut.find("12.25\n"), std::string::npos) << cut;
  std::string narrow;
  EXPECT_EQ(table.render(12, false, narrow), 1u);
  EXPECT_EQ(narrow.find("loss"), std::string::npos);
  std::string coloured;
  (void)table.render(0, true, coloured);
  EXPECT_NE(coloured.find("\033[1m"), std::string::npos);
}

}  // namespace
}  // namespace trovik::read
