#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "read/record_handler.h"
#include "read/run_summary_builder.h"
#include "support/run_file_samples.h"

namespace trovik::read {
namespace {

const char* kRunStart =
    R"({"created_at":"2024-03-05T07:08:09.120+00:00","elapsed_ms":3,"experiment_name":"demo",)"
    R"("kind":"run_start","run_id":"6a1f0c2e-9b7d-4e3a-8c5f-2d4b6e8a0c1f","schema_version":1,)"
    R"("trovik_version":"0.1.2","value":{"git":null,"host":{"hostname":"h"},"metadata":{"lr":0.1},)"
    R"("process":{"argv":["python","t.py"],"cwd":"/w","pid":1,"ppid":0}}})";

std::string track(const std::string& value, uint64_t elapsed = 5, const char* note = nullptr) {
  std::string line = R"({"created_at":"2024-03-05T07:08:10+00:00","elapsed_ms":)" +
                     std::to_string(elapsed) + R"(,"experiment_name":"demo","kind":"track",)";
  if (note != nullptr) line += std::string(R"("note":")") + note + "\",";
  return line + R"("run_id":"6a1f0c2e-9b7d-4e3a-8c5f-2d4b6e8a0c1f","value":)" + value + "}";
}

RunSummary summarise(const std::vector<std::string>& lines, std::string_view unfinished = "",
                     Detail detail = Detail::kFull) {
  RunSummaryBuilder builder("runs/x.jsonl", detail);
  for (const std::string& line : lines) builder.add_line(line);
  return builder.finish(unfinished);
}

TEST(RunSummary, DamagedLinesAreSkippedAndCounted) {
  const RunSummary run =
      summarise({kRunStart, track("1", 7), "{\"half", "[1,2]", "", track("2", 9)},
                R"({"created_at":"2024-03-05T07:08)");
  EXPECT_EQ(run.run_id, "6a1f0c2e-9b7d-4e3a-8c5f-2d4b6e8a0c1f");
  EXPECT_EQ(run.name, "demo");
  EXPECT_EQ(run.records, 3u);
  EXPECT_EQ(run.bad_lines, 3u);
  EXPECT_TRUE(run.torn);
  EXPECT_EQ(run.elapsed_ms, 9u);
  ASSERT_NE(run.run_start_member({"metadata", "lr"}), nullptr);
  ASSERT_EQ(run.series.size(), 1u);
  EXPECT_EQ(run.series[0].count, 2u);
  EXPECT_EQ(run.series[0].last, 2);
}

TEST(RunSummary, FileWithoutRunStartIsStillSummarised) {
  const RunSummary run = summarise({track("4", 1), track("3", 2)});
  EXPECT_FALSE(run.run_start.has_value());
  EXPECT_EQ(run.run_id, "x");
  EXPECT_EQ(run.name, "demo");
  EXPECT_EQ(run.records, 2u);
  EXPECT_FALSE(run.torn);
  ASSERT_EQ(run.series.size(), 1u);
  EXPECT_EQ(run.series[0].first, 4);
  EXPECT_EQ(run.series[0].min_step, 1);
}

TEST(RunSummary, SeriesAreTheNumericLeavesUnderDottedPaths) {
  const RunSummary run = summarise(
      {kRunStart,
       track(R"({"val":{"loss":0.5,"acc":1,"deep":{"x":-2}},"tag":"a","ok":true,"n":null,)"
             R"("list":[1,{"y":2}],"after":3})"),
       track("0.25"), track(R"("text")"), track("[4]"), track("true"),
       track(R"({"big":123456789012345678901234567890})")});
  std::vector<std::string> names;
  for (const SeriesSummary& s : run.series) names.push_back(s.name);
  EXPECT_EQ(names, (std::vector<std::string>{"val.loss", "val.acc", "val.deep.x", "after", "value",
                                             "big"}));
  EXPECT_DOUBLE_EQ(run.find_series("val.deep.x")->last, -2);
  EXPECT_DOUBLE_EQ(run.find_series("big")->last, 1.2345678901234568e29);
}

TEST(RunSummary, BigIntegerEventIsTheNearestDouble) {
  RecordHandler handler;
  handler.reset();
  handler.begin_object();
  handler.key("value", false);
  handler.big_integer("-98765432109876543210");
  handler.end_object();
  ASSERT_EQ(handler.leaves().size(), 1u);
  EXPECT_EQ(handler.leaf_name(handler.leaves()[0]), "value");
  EXPECT_DOUBLE_EQ(handler.leaves()[0].value, -9.8765432109876543e19);
}

// A record without an integer step is at the latest step recorded before it; before any, at its
// track index.
TEST(RunSummary, StepIsTheIntegerStepMemberElseTheLatestEarlierStep) {
  const RunSummary run =
      summarise({kRunStart, track(R"({"loss":3})"), track(R"({"other":1})"),
                 track(R"({"loss":1,"step":100})"), track(R"({"loss":2,"step":2.5})", 0, "final"),
                 track(R"({"loss":5,"nested":{"step":7}})"), track(R"({"loss":4,"step":200})")});
  const SeriesSummary* loss = run.find_series("loss");
  ASSERT_NE(loss, nullptr);
  std::vector<std::pair<int64_t, bool>> steps;
  for (const SeriesPoint& p : loss->points) steps.emplace_back(p.step, p.step_from_index);
  EXPECT_EQ(steps, (std::vector<std::pair<int64_t, bool>>{
                       {0, true}, {100, false}, {100, false}, {100, false}, {200, false}}));
  EXPECT_EQ(std::make_pair(loss->min, loss->min_step), std::make_pair(1.0, int64_t{100}));
  EXPECT_EQ(std::make_pair(loss->max, loss->max_step), std::make_pair(5.0, int64_t{100}));
  EXPECT_EQ(loss->first_step, 0);
  ASSERT_EQ(run.notes.size(), 1u);
  EXPECT_EQ(run.notes[0].step, 100);
  EXPECT_EQ(run.latest_step, 200);
}

TEST(RunSummary, EachDetailKeepsWhatItPromises) {
  const std::vector<std::string> lines = {kRunStart, track("1", 10, "warm up"), track("2", 20)};
  const RunSummary full = summarise(lines);
  ASSERT_EQ(full.notes.size(), 1u);
  EXPECT_EQ(full.notes[0].text, "warm up");
  EXPECT_EQ(full.notes[0].elapsed_ms, 10u);
  EXPECT_EQ(full.notes[0].step, 0);
  EXPECT_EQ(full.track_times.size(), 2u);
  const RunSummary brief = summarise(lines, "", Detail::kSummary);
  EXPECT_TRUE(brief.notes.empty());
  EXPECT_TRUE(brief.series[0].points.empty());
  EXPECT_EQ(brief.series[0].count, 2u);
  const RunSummary points = summarise(lines, "", Detail::kPoints);
  EXPECT_EQ(points.notes.size(), 1u);
  EXPECT_EQ(points.series[0].points.size(), 2u);
  EXPECT_TRUE(points.track_times.empty());
}

TEST(RunSummary, FileReadingKeepsLinesLongerThanABlock) {
  const std::string path = ::testing::TempDir() + "/long_run.jsonl";
  const std::string long_note(3 << 20, 'n');
  {
    std::ofstream file(path, std::ios::binary);
    file << kRunStart << '\n'
         << track("1", 1, long_note.c_str()) << '\n'
         << track("2", 2) << '\n'
         << "{\"torn";
  }
  Result<RunSummary> run = read_run_file(path, Detail::kFull);
  ASSERT_TRUE(run.ok()) << run.status().ToString();
  EXPECT_EQ(run.value().records, 3u);
  EXPECT_TRUE(run.value().torn);
  EXPECT_EQ(run.value().bad_lines, 0u);
  ASSERT_EQ(run.value().notes.size(), 1u);
  EXPECT_EQ(run.value().notes[0].text.size(), long_note.size());
  std::remove(path.c_str());

  Result<RunSummary> missing = read_run_file(path, Detail::kSummary);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.status().kind(), ErrorKind::kOSError);
}

}  // namespace
}  // namespace trovik::read

namespace trovik::read {
namespace {

// A file read in two parts at any line boundary gives what one reading gives.
TEST(RunSummary, PartsJoinIntoTheWholeAtEveryBoundary) {
  const std::vector<std::string> lines = {kRunStart,
                                          track(R"({"loss":3,"acc":1})", 1, "a"),
                                          "bad line",
                                          track("[1]", 2),
                                          track(R"({"loss":1})", 3),
                                          track(R"({"loss":1,"step":50})", 4),
                                          track(R"({"acc":0.5,"other":2})", 5, "b"),
                                          track(R"({"loss":9})", 6)};
  const RunSummary whole = summarise(lines, "{\"torn", Detail::kFull);
  for (size_t split = 1; split < lines.size(); ++split) {
    RunSummaryBuilder first("runs/x.jsonl", Detail::kFull, true);
    RunSummaryBuilder second("runs/x.jsonl", Detail::kFull, false);
    for (size_t i = 0; i < lines.size(); ++i) (i < split ? first : second).add_line(lines[i]);
    RunSummary joined = first.finish("");
    join_run_parts(joined, second.finish("{\"torn"));
    SCOPED_TRACE(split);
    EXPECT_EQ(joined.records, whole.records);
    EXPECT_EQ(joined.bad_lines, whole.bad_lines);
    EXPECT_EQ(joined.torn, whole.torn);
    EXPECT_EQ(joined.elapsed_ms, whole.elapsed_ms);
    EXPECT_EQ(joined.track_records, whole.track_records);
    EXPECT_EQ(joined.track_times.size(), whole.track_times.size());
    ASSERT_EQ(joined.notes.size(), whole.notes.size());
    for (size_t n = 0; n < whole.notes.size(); ++n)
      EXPECT_EQ(joined.notes[n].step, whole.notes[n].step);
    ASSERT_EQ(joined.series.size(), whole.series.size());
    for (size_t s = 0; s < whole.series.size(); ++s) {
      const SeriesSummary& a = joined.series[s];
      const SeriesSummary& b = whole.series[s];
      EXPECT_EQ(a.name, b.name);
      EXPECT_EQ(std::tie(a.count, a.first, a.last, a.min, a.max),
                std::tie(b.count, b.first, b.last, b.min, b.max));
      EXPECT_EQ(std::tie(a.first_step, a.last_step, a.min_step, a.max_step),
                std::tie(b.first_step, b.last_step, b.min_step, b.max_step));
      ASSERT_EQ(a.points.size(), b.points.size());
      for (size_t p = 0; p < a.points.size(); ++p) {
        EXPECT_EQ(a.points[p].step, b.points[p].step);
        EXPECT_EQ(a.points[p].track_index, b.points[p].track_index);
      }
    }
  }
}

}  // namespace
}  // namespace trovik::read

namespace trovik::read {
namespace {

// Whatever the number of series and wherever the parts begin, joined parts are the whole.
TEST(RunSummary, RandomFilesJoinedFromPartsAreTheWhole) {
  for (unsigned seed = 0; seed < 20; ++seed) {
    const std::vector<std::string> lines = testing_support::sample_run_lines(seed, 300, 400);
    const std::string whole = testing_support::summary_text(summarise(lines, "{\"to"));
    std::mt19937 random(seed);
    std::vector<size_t> cuts = {0, lines.size()};
    for (int i = 0; i < 4; ++i) cuts.push_back(1 + random() % (lines.size() - 1));
    std::sort(cuts.begin(), cuts.end());
    std::optional<RunSummary> joined;
    for (size_t part = 0; part + 1 < cuts.size(); ++part) {
      RunSummaryBuilder builder("runs/x.jsonl", Detail::kFull, part == 0);
      for (size_t i = cuts[part]; i < cuts[part + 1]; ++i) builder.add_line(lines[i]);
      RunSummary summary = builder.finish(part + 2 == cuts.size() ? "{\"to" : "");
      if (joined) {
        join_run_parts(*joined, std::move(summary));
      } else {
        joined = std::move(summary);
      }
    }
    ASSERT_EQ(testing_support::summary_text(*joined), whole) << "seed " << seed;
  }
}

// Names that had to be unescaped are kept whole, alone and as the head of a nested path.
TEST(RunSummary, EscapedMemberNamesAreSeriesNames) {
  const RunSummary run =
      summarise({kRunStart, track(R"({"a\"b":1,"n\u0041":{"x":2,"\u0042":3},"c":4})"),
                 track(R"({"a\"b":5,"c":6,"n\u0041":{"x":7}})")});
  std::vector<std::string> names;
  for (const SeriesSummary& s : run.series) names.push_back(s.name + "=" + std::to_string(s.count));
  EXPECT_EQ(names, (std::vector<std::string>{"a\"b=2", "nA.x=2", "nA.B=1", "c=2"}));
}

// A recorded number is printed as the file writes it, at every detail that keeps it.
TEST(RunSummary, NumbersKeepTheirTextAsWritten) {
  std::vector<std::string> lines = {kRunStart};
  for (const std::string& number : testing_support::kAwkwardNumbers) {
    lines.push_back(track("{\"x\":" + number + "}"));
  }
  const RunSummary run = summarise(lines);
  const SeriesSummary& x = run.series.at(0);
  const std::vector<std::string>& numbers = testing_support::kAwkwardNumbers;
  EXPECT_EQ(x.first_token.view(), numbers.front());
  EXPECT_EQ(x.last_token.view(), numbers.back());
  EXPECT_EQ(x.min_token.view(), numbers.back());
  EXPECT_EQ(x.max_token.view(), "18446744073709551616");
  ASSERT_EQ(x.points.size(), numbers.size());
  for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(x.point_token(i), numbers[i]);
  // Zero and negative zero are equal: of equal extremes the first one stays.
  const RunSummary zeros = summarise({kRunStart, track("0"), track("-0.0"), track("-0")});
  EXPECT_EQ(zeros.series.at(0).min_token.view(), "0");
  EXPECT_EQ(zeros.series.at(0).last_token.view(), "-0");
  EXPECT_TRUE(summarise(lines, "", Detail::kPoints).series.at(0).point_token_ends.empty());
}

}  // namespace
}  // namespace trovik::read
