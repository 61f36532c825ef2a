#include <gtest/gtest.h>

#include "json/reader.h"
#include "read/environment_summary.h"
#include "read/run_ending.h"

namespace trovik::read {
namespace {

struct LinesCase {
  const char* text;
  size_t count;
  const char* expected;
  size_t lines;
};

class LastLines : public testing::TestWithParam<LinesCase> {};

TEST_P(LastLines, KeepTheEndOfATraceback) {
  EXPECT_EQ(last_lines(GetParam().text, GetParam().count), GetParam().expected);
  EXPECT_EQ(line_count(GetParam().text), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LastLines,
    testing::Values(LinesCase{"a\nb\nc\n", 2, "b\nc", 3}, LinesCase{"a\nb\nc", 2, "b\nc", 3},
                    LinesCase{"a\nb\nc", 3, "a\nb\nc", 3}, LinesCase{"a\nb\nc", 9, "a\nb\nc", 3},
                    LinesCase{"a\n\nc\n", 1, "c", 3}, LinesCase{"a\n\n", 1, "", 2},
                    LinesCase{"abc", 0, "", 1}, LinesCase{"", 2, "", 0}));

TEST(RunEnding, ReadsWhatTheEndRecordHoldsAndSkipsWhatIsOfAnotherType) {
  const json::Value end =
      json::read_json(
          R"({"exception":{"message":"","traceback":null,"type":"KeyboardInterrupt"},)"
          R"("resources":{"cpu_system_s":0.5,"cpu_user_s":"x","max_rss_bytes":3221225472},)"
          R"("status":"interrupted"})")
          .value();
  const RunEnding ending = run_ending(end);
  EXPECT_EQ(ending.status, "interrupted");
  EXPECT_EQ(exception_text(ending), "KeyboardInterrupt");
  EXPECT_FALSE(ending.traceback.has_value());
  EXPECT_EQ(resources_text(ending), "0.50 s system, 3.0 GiB peak memory");
  EXPECT_FALSE(resources_text(run_ending(json::Value())).has_value());
}

TEST(EnvironmentFacts, SummariseWhatWasRecordedAndLeaveOutWhatWasNot) {
  const json::Value environment =
      json::read_json(
          R"({"editable_packages":{"mine":"/src/mine"},"gpus":[{"driver":"535.1","memory_mib":)"
          R"(40960,"name":"A100"},{"name":"T4"}],"packages":{"mine":"0.1","numpy":"2.0.1"},)"
          R"("platform":{"distribution":null,"kernel":"6.1.0","libc":"glibc 2.36"},)"
          R"("python":{"executable":"/usr/bin/python3","implementation":"cpython",)"
          R"("version":"3.11.2"},"variables":{"OMP_NUM_THREADS":"4","RANK":"0"}})")
          .value();
  using Facts = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(environment_facts(environment), (Facts{{"python", "3.11.2 cpython /usr/bin/python3"},
                                                   {"platform", "kernel 6.1.0, glibc 2.36"},
                                                   {"packages", "2 (editable: mine at /src/mine)"},
                                                   {"gpus", "A100 (driver 535.1, 40960 MiB); T4"},
                                                   {"variables", "OMP_NUM_THREADS=4 RANK=0"}}));
  EXPECT_EQ(environment_entries(environment, "packages").at("numpy"), "2.0.1");
  EXPECT_TRUE(environment_facts(json::Value::string("odd")).empty());
}

}  // namespace
}  // namespace trovik::read
