#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/writer.h"
#include "read/run_status.h"
#include "read/run_summary_builder.h"
#include "read/timestamp.h"
#include "support/fake_process_probe.h"

namespace trovik::read {
namespace {

constexpr int64_t kSecond = 1'000'000'000;
const char* kCreatedAt = "2024-03-05T07:08:09.120+00:00";

std::string run_start(const char* host) {
  return std::string(R"({"created_at":")") + kCreatedAt +
         R"(","elapsed_ms":0,"kind":"run_start","run_id":"r","value":{"host":{"hostname":")" +
         host + R"("},"process":{"pid":100}}})";
}

std::string run_end(const std::string& status, uint64_t elapsed = 9) {
  return R"({"elapsed_ms":)" + std::to_string(elapsed) +
         R"(,"kind":"run_end","value":{"exception":null,"status":)" + status + "}}";
}

const std::string kTrack = R"({"elapsed_ms":5,"kind":"track","value":1})";

RunSummary summarise(const std::vector<std::string>& lines, std::string_view unfinished = "") {
  RunSummaryBuilder builder("runs/r.jsonl", Detail::kSummary);
  for (const std::string& line : lines) builder.add_line(line);
  return builder.finish(unfinished);
}

struct StatusCase {
  const char* what;
  std::vector<std::string> lines;
  std::optional<int64_t> process_started_after_run_s;  // none: no process 100 here
  RunStatus expected;
};

class StatusOfRun : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusOfRun, ComesFromTheEndRecordElseFromTheProcess) {
  const StatusCase& c = GetParam();
  testing_support::FakeProcessProbe probe("here");
  const int64_t started = *parse_timestamp(kCreatedAt);
  if (c.process_started_after_run_s) {
    probe.add(100, started + *c.process_started_after_run_s * kSecond);
  }
  EXPECT_EQ(status_name(run_status(summarise(c.lines), probe)), status_name(c.expected)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Endings, StatusOfRun,
    testing::Values(
        StatusCase{"completed, process still alive",
                   {run_start("here"), run_end(R"("completed")")},
                   -60,
                   RunStatus::kCompleted},
        StatusCase{"failed",
                   {run_start("here"), kTrack, run_end(R"("failed")")},
                   std::nullopt,
                   RunStatus::kFailed},
        StatusCase{"interrupted",
                   {run_start("there"), run_end(R"("interrupted")")},
                   std::nullopt,
                   RunStatus::kInterrupted},
        StatusCase{"the first end counts",
                   {run_start("here"), run_end(R"("failed")"), run_end(R"("completed")")},
                   std::nullopt,
                   RunStatus::kFailed},
        StatusCase{"an end naming no ending ends nothing",
                   {run_start("here"), run_end(R"("done")"), run_end("null")},
                   -60,
                   RunStatus::kRunning},
        StatusCase{"running", {run_start("here"), kTrack}, -60, RunStatus::kRunning},
        StatusCase{
            "pid of a younger process", {run_start("here"), kTrack}, 30, RunStatus::kStopped},
        StatusCase{"process gone", {run_start("here"), kTrack}, std::nullopt, RunStatus::kStopped},
        StatusCase{"another host", {run_start("there"), kTrack}, -60, RunStatus::kUnknown},
        StatusCase{"no run_start", {kTrack}, -60, RunStatus::kUnknown}));

// The first end record that names an ending is kept with its duration; records after it are
// counted; torn or damaged end lines are skipped like any other; the last environment is kept.
TEST(RunStatusSummary, KeepsTheFirstEndAndTheLastEnvironment) {
  const RunSummary run = summarise(
      {run_start("here"), R"({"kind":"environment","value":{"python":{"version":"3.8"}}})",
       R"({"kind":"run_end","value":{"status":"fail)", run_end("[]", 7), kTrack,
       run_end(R"("completed")", 40), kTrack, run_end(R"("failed")", 50),
       R"({"kind":"environment","value":{"python":{"version":"3.12"}}})"},
      R"({"elapsed_ms":60,"kind":"run_end","value":{"status":"failed")");
  ASSERT_TRUE(run.run_end.has_value());
  EXPECT_EQ(json::to_json_text(*run.run_end), R"({"exception":null,"status":"completed"})");
  EXPECT_EQ(run.run_end_elapsed_ms, 40u);
  EXPECT_EQ(run.records_after_end, 3u);
  EXPECT_EQ((std::pair{run.bad_lines, run.torn}), (std::pair{uint64_t{1}, true}));
  ASSERT_TRUE(run.environment.has_value());
  EXPECT_EQ(json::to_json_text(*run.environment), R"({"python":{"version":"3.12"}})");

  const RunSummary torn = summarise({run_start("here"), kTrack}, run_end(R"("completed")"));
  EXPECT_FALSE(torn.run_end.has_value());
  testing_support::FakeProcessProbe probe("here");
  EXPECT_EQ(run_status(torn, probe), RunStatus::kStopped);
}

}  // namespace
}  // namespace trovik::read
