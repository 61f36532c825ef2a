#include "serve/live_run_source.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "json/reader.h"
#include "support/fake_process_probe.h"

namespace trovik::serve {
namespace {

constexpr const char* kRunId = "0d6f7c52-aaaa-4bbb-8ccc-000000000001";

std::string start_line(const std::string& run_id) {
  return R"({"kind":"run_start","run_id":")" + run_id +
         R"(","experiment_name":"sweep","created_at":"2024-03-05T07:08:09.120+00:00",)"
         R"("elapsed_ms":0,"value":{"metadata":{"lr":0.1}}})"
         "\n";
}

std::string track_lines(int from, int to) {
  std::string out;
  for (int step = from; step < to; ++step) {
    out += R"({"kind":"track","elapsed_ms":)" + std::to_string(step * 10) + R"(,"value":{"step":)" +
           std::to_string(step) + R"(,"loss":)" + std::to_string(100 - step) + "}}\n";
  }
  return out;
}

class LiveRunSourceTest : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(root_ + "/runs"); }
  void TearDown() override { std::filesystem::remove_all(root_); }

  std::string path(const std::string& run_id) const { return root_ + "/runs/" + run_id + ".jsonl"; }
  void write(const std::string& run_id, const std::string& text, bool append = true) {
    std::ofstream(path(run_id), std::ios::binary | (append ? std::ios::app : std::ios::trunc))
        << text;
  }

  // What the source answers after looking at the files once more.
  json::Value changes_after_look(uint64_t since) {
    source_.look_once();
    Result<std::string> text = source_.changes_since(since);
    EXPECT_TRUE(text.ok());
    Result<json::Value> parsed = json::read_json(text.value());
    EXPECT_TRUE(parsed.ok()) << text.value();
    return parsed.ok() ? std::move(parsed.value()) : json::Value();
  }
  static const json::Array& runs_of(const json::Value& changes) {
    return changes.as_object().find("runs")->as_array();
  }
  static uint64_t cursor_of(const json::Value& changes) {
    return changes.as_object().find("cursor")->as_unsigned();
  }
  // The "loss" series of the run's change: its count, and "from" (0 when it came whole).
  static std::pair<uint64_t, uint64_t> loss_of(const json::Value& run) {
    const json::Value* series = run.as_object().find("series");
    if (series == nullptr) return {0, 0};
    for (const json::Value& each : series->as_array()) {
      const json::Object& fields = each.as_object();
      if (fields.find("name")->as_string() != "loss") continue;
      const json::Value* from = fields.find("from");
      return {fields.find("count")->as_unsigned(), from ? from->as_unsigned() : 0};
    }
    return {0, 0};
  }

  std::string root_ = ::testing::TempDir() + "/live_" + std::to_string(::getpid());
  testing_support::FakeProcessProbe probe_{"here"};
  LiveRunSource source_{{root_}, std::chrono::milliseconds(1000), probe_};
};

TEST_F(LiveRunSourceTest, ChangesCarryOnlyWhatChangedAfterTheCursor) {
  write(kRunId, start_line(kRunId) + track_lines(0, 3));
  const json::Value first = changes_after_look(0);
  ASSERT_EQ(runs_of(first).size(), 1u);
  // Everything but series, which a page asks for per run.
  EXPECT_EQ(runs_of(first)[0].as_object().find("series"), nullptr);
  EXPECT_NE(runs_of(first)[0].as_object().find("cells"), nullptr);
  const uint64_t cursor = cursor_of(first);

  EXPECT_TRUE(runs_of(changes_after_look(cursor)).empty());
  EXPECT_EQ(source_.cursor(), cursor);

  // Growth: the run with its grown series from the bucket that changed, nothing else of it.
  write(kRunId, track_lines(3, 5));
  const json::Value grown = changes_after_look(cursor);
  ASSERT_EQ(runs_of(grown).size(), 1u);
  EXPECT_EQ(loss_of(runs_of(grown)[0]), std::make_pair(uint64_t{5}, uint64_t{3}));
  EXPECT_EQ(runs_of(grown)[0].as_object().find("metadata"), nullptr);

  // A torn line is not a point until its line feed comes.
  const uint64_t before_torn = cursor_of(grown);
  write(kRunId, R"({"kind":"track","elapsed_ms":50,"value":{"step":5,"loss":)");
  const json::Value torn = changes_after_look(before_torn);
  for (const json::Value& run : runs_of(torn)) EXPECT_EQ(loss_of(run).first, 0u);
  write(kRunId, "95}}\n");
  const json::Value completed = changes_after_look(before_torn);
  ASSERT_EQ(runs_of(completed).size(), 1u);
  EXPECT_EQ(loss_of(runs_of(completed)[0]).first, 6u);
}

TEST_F(LiveRunSourceTest, ShrunkReplacedAndNewFilesComeWhole) {
  write(kRunId, start_line(kRunId) + track_lines(0, 10));
  uint64_t cursor = cursor_of(changes_after_look(0));
  for (const bool replace : {false, true}) {
    if (replace) {
      // Another file under the same name: written beside it, then renamed over it.
      const std::string other = path(kRunId) + ".new";
      std::ofstream(other) << start_line(kRunId) << track_lines(0, 4);
      ASSERT_EQ(std::rename(other.c_str(), path(kRunId).c_str()), 0);
    } else {
      write(kRunId, start_line(kRunId) + track_lines(0, 7), false);
    }
    const json::Value changes = changes_after_look(cursor);
    ASSERT_EQ(runs_of(changes).size(), 1u) << replace;
    const json::Value& run = runs_of(changes)[0];
    EXPECT_EQ(loss_of(run), std::make_pair(uint64_t{replace ? 4u : 7u}, uint64_t{0})) << replace;
    EXPECT_NE(run.as_object().find("name"), nullptr);
    cursor = cursor_of(changes);
  }

  const std::string later = "0d6f7c52-aaaa-4bbb-8ccc-000000000002";
  write(later, start_line(later) + track_lines(0, 2));
  const json::Value added = changes_after_look(cursor);
  ASSERT_EQ(runs_of(added).size(), 1u);
  EXPECT_EQ(runs_of(added)[0].as_object().find("id")->as_string(), later);
  EXPECT_EQ(loss_of(runs_of(added)[0]).first, 2u);

  // Gone or unreadable while followed: what was read stays, and the source keeps answering.
  ASSERT_EQ(::chmod(path(later).c_str(), 0), 0);
  ASSERT_EQ(std::remove(path(kRunId).c_str()), 0);
  EXPECT_TRUE(runs_of(changes_after_look(cursor_of(added))).empty());
  Result<std::string> series = source_.run_series(later);
  ASSERT_TRUE(series.ok());
  EXPECT_NE(series.value().find("\"loss\""), std::string::npos);
  EXPECT_EQ(source_.run_series("no-such-run").status().kind(), ErrorKind::kNotFound);
}

}  // namespace
}  // namespace trovik::serve
