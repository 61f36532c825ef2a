#include "report/page_data.h"

#include <gtest/gtest.h>

#include <string>

#include "json/reader.h"
#include "report/page_limits.h"

namespace trovik::report {
namespace {

double number(const json::Value& value) {
  switch (value.type()) {
    case json::Value::Type::kUnsigned:
      return static_cast<double>(value.as_unsigned());
    case json::Value::Type::kNegative:
      return static_cast<double>(value.as_negative());
    default:
      return value.as_double();
  }
}

RunSeries series_of(const std::string& name, std::initializer_list<read::ThinnedPoint> points,
                    size_t buckets = 64) {
  RunSeries series{name, points.size(), 0, 0, 0, 0, read::SeriesThinning(buckets)};
  for (const read::ThinnedPoint& point : points) {
    series.thinned.add(point.step, point.elapsed_ms, point.value);
  }
  return series;
}

// The flat bucket numbers, read the way the page reads them, give back each bucket's steps,
// elapsed times, mean and extremes in step order.
TEST(PageData, BucketsReadBackAsThePageDecodesThem) {
  ReportInput input;
  ReportRun& run = input.runs.emplace_back();
  run.run_id = "r1";
  run.series.push_back(series_of("loss", {{3, 30, 1.5}, {4, 40, 0.25}, {5, 55, 9}, {7, 70, 2}}, 2));
  input.summary = {2, {"id", "name", "lr"}, {{"r1", "n", "0.1"}}};
  std::string out;
  append_page_data(out, input);
  Result<json::Value> parsed = json::read_json(out);
  ASSERT_TRUE(parsed.ok()) << out;
  const json::Object& page = parsed.value().as_object();
  EXPECT_EQ(page.find("columns")->as_array().size(), 2u);
  const json::Object& loss =
      page.find("runs")->as_array()[0].as_object().find("series")->as_array()[0].as_object();
  EXPECT_EQ(number(*loss.find("w")), 2);  // steps 3..7 in two buckets of four: [0, 4), [4, 8)
  std::vector<double> flat;
  for (const json::Value& each : loss.find("b")->as_array()) flat.push_back(number(each));
  // 1 point at step 3; then 3 points: from step 4 (1 after 3), 3 steps on, mean 3.75, then
  // the lowest (0.25, step 4) before the highest (9, step 5).
  EXPECT_EQ(flat, (std::vector<double>{1, 3, 30, 1.5, 3, 1, 10, 3, 30, 3.75, 0.25, 9}));
}

TEST(PageData, TextsFromRunsCannotEndTheDataElement) {
  ReportInput input;
  ReportRun& run = input.runs.emplace_back();
  run.run_id = "</script>";
  run.name = "<!--";
  run.status = "</SCRIPT >";
  run.metadata = {{"<b>", "\xE2\x80\xA8"}};
  run.notes = {{1, 2, "</script><script>alert(1)</script>"}};
  run.series.push_back(series_of("</script>", {{0, 0, 1}}));
  std::string out;
  append_page_data(out, input);
  EXPECT_EQ(out.find('<'), std::string::npos) << out;
  EXPECT_TRUE(json::read_json(out).ok());
}

TEST(PageLimits, APageKeepsItsChartsBucketsAndNotesBounded) {
  ReportInput input;
  for (int r = 0; r < 3; ++r) {
    ReportRun& run = input.runs.emplace_back();
    // Each run its own 600 names, 1,800 in all: the first 1,000 by name stay.
    for (int s = 0; s < 600; ++s) {
      char name[16];
      (void)std::snprintf(name, sizeof name, "s%04d", r * 600 + s);
      run.series.push_back(series_of(name, {{0, 0, 1}}));
    }
    for (int n = 0; n < 700; ++n) run.notes.push_back({n, 0, "note"});
  }
  ReportRun& long_run = input.runs.emplace_back();
  for (int s = 0; s < 5; ++s) {
    RunSeries& series = long_run.series.emplace_back(series_of("a" + std::to_string(s), {}, 1024));
    for (int64_t step = 0; step < 100'000; ++step) series.thinned.add(step, 0, 1);
  }
  fit_to_page(input);

  size_t charts = 0;
  size_t buckets = 0;
  for (const ReportRun& run : input.runs) {
    charts += run.series.size();
    for (const RunSeries& series : run.series) buckets += series.thinned.buckets().size();
    EXPECT_LE(run.notes.size(), kMaxNotesPerRun);
  }
  EXPECT_EQ(charts, kMaxCharts);
  EXPECT_LE(buckets, kPageBuckets);
  EXPECT_EQ(input.runs[0].series_left_out, 0u);
  EXPECT_EQ(input.runs[1].series_left_out, 600u - 395u);  // s0600..s0994 stay beside a0..a4
  EXPECT_EQ(input.runs[2].series_left_out, 600u);
  EXPECT_EQ(input.runs[0].notes_left_out, 200u);
  EXPECT_GE(long_run.series[0].thinned.buckets().size(), kMinBucketsPerSeries);
  EXPECT_EQ(buckets_per_series(200, 5), 100u);
  EXPECT_EQ(buckets_per_series(1, 1), kMaxBucketsPerSeries);
}

}  // namespace
}  // namespace trovik::report
