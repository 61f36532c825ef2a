#include "run/run_end.h"

#include <gtest/gtest.h>

#include <string>

#include "json/writer.h"

namespace trovik::run {
namespace {

const ProcessResources kResources{1.25, 0.000001, 1048576};

TEST(RunEndValue, CompletedHasNoException) {
  EXPECT_EQ(json::to_json_text(run_end_value(RunEnding::kCompleted, std::nullopt, kResources)),
            R"({"exception":null,"resources":{"cpu_system_s":1e-6,"cpu_user_s":1.25,)"
            R"("max_rss_bytes":1048576},"status":"completed"})");
}

TEST(RunEndValue, ExceptionTextsKeepTheirLimitsOnCharacterBoundaries) {
  // One euro sign (3 bytes) straddles each limit.
  const std::string message = std::string(kMaxExceptionMessage - 1, 'm') + "\u20ac" + "tail";
  const std::string traceback = "head\u20ac" + std::string(kMaxTraceback - 2, 't');
  const json::Value value = run_end_value(
      RunEnding::kInterrupted, EndException{"KeyboardInterrupt", message, traceback}, kResources);
  const json::Object& exception = value.as_object().find("exception")->as_object();
  EXPECT_EQ(exception.find("type")->as_string(), "KeyboardInterrupt");
  EXPECT_EQ(exception.find("message")->as_string(), std::string(kMaxExceptionMessage - 1, 'm'));
  EXPECT_EQ(exception.find("traceback")->as_string(), std::string(kMaxTraceback - 2, 't'));
  EXPECT_EQ(value.as_object().find("status")->as_string(), "interrupted");
}

TEST(RunEndValue, AnUnformattedTracebackIsNull) {
  const json::Value value =
      run_end_value(RunEnding::kFailed, EndException{"E", "m", std::nullopt}, kResources);
  EXPECT_EQ(json::to_json_text(*value.as_object().find("exception")),
            R"({"message":"m","traceback":null,"type":"E"})");
  EXPECT_EQ(value.as_object().find("status")->as_string(), "failed");
}

}  // namespace
}  // namespace trovik::run
