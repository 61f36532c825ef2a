#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "read/run_reference.h"
#include "read/timestamp.h"

namespace trovik::read {
namespace {

RunFileEntry entry(const std::string& run_id, const std::string& name, int64_t started_ns) {
  RunFileEntry run;
  run.path = "r/runs/" + run_id + ".jsonl";
  run.run_id = run_id;
  run.name = name;
  run.started_ns = started_ns;
  return run;
}

std::vector<RunFileEntry> catalog() {
  return {entry("aaaa1111-0000", "a", 3), entry("aaaa2222-0000", "b", 2),
          entry("bbbb3333-0000", "c", 1)};
}

struct ReferenceCase {
  const char* reference;
  const char* found;    // the run id found, or null
  const char* message;  // a part of the error message otherwise
  ErrorKind kind = ErrorKind::kValueError;
};

class RunReference : public ::testing::TestWithParam<ReferenceCase> {};

TEST_P(RunReference, NamesOneRunOrExplains) {
  const ReferenceCase& c = GetParam();
  Result<RunFileEntry> run = resolve_run(c.reference, catalog());
  if (c.found != nullptr) {
    ASSERT_TRUE(run.ok()) << run.status().ToString();
    EXPECT_EQ(run.value().run_id, c.found);
  } else {
    ASSERT_FALSE(run.ok());
    EXPECT_EQ(run.status().kind(), c.kind);
    EXPECT_NE(run.status().message().find(c.message), std::string::npos) << run.status().message();
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, RunReference,
    ::testing::Values(ReferenceCase{"aaaa2222-0000", "aaaa2222-0000", nullptr},
                      ReferenceCase{"bbbb", "bbbb3333-0000", nullptr},
                      ReferenceCase{"aaaa1", "aaaa1111-0000", nullptr},
                      ReferenceCase{"BBBB33", "bbbb3333-0000", nullptr},
                      ReferenceCase{"@1", "aaaa1111-0000", nullptr},
                      ReferenceCase{"@3", "bbbb3333-0000", nullptr},
                      ReferenceCase{"@4", nullptr, "3 runs found", ErrorKind::kNotFound},
                      ReferenceCase{"@0", nullptr, "bad run reference"},
                      ReferenceCase{"@x", nullptr, "bad run reference"},
                      ReferenceCase{"bbb", nullptr, "too short"},
                      ReferenceCase{"aaaa", nullptr, "aaaa1111-0000, aaaa2222-0000"},
                      ReferenceCase{"cccc", nullptr, "unknown run 'cccc'", ErrorKind::kNotFound},
                      ReferenceCase{"no/such/file.jsonl", nullptr, "unknown run",
                                    ErrorKind::kNotFound}));

TEST(Timestamp, ParsesTheRecordFormAndOffsets) {
  EXPECT_EQ(parse_timestamp("1970-01-01T00:00:00+00:00"), 0);
  EXPECT_EQ(parse_timestamp("2024-03-05T07:08:09.120+00:00"), 1709622489120000000);
  EXPECT_EQ(parse_timestamp("2024-03-05T07:08:09.000000005Z"), 1709622489000000005);
  EXPECT_EQ(parse_timestamp("2024-03-05T08:08:09+01:00"), 1709622489000000000);
  for (const char* bad : {"", "2024-03-05", "2024-03-05T07:08:09", "2024-13-05T07:08:09Z",
                          "2024-03-05T07:08:09.+00:00", "2024-03-05T07:08:09+0000"}) {
    EXPECT_FALSE(parse_timestamp(bad).has_value()) << bad;
  }
  EXPECT_EQ(parse_duration("30d"), int64_t{30} * 86400 * 1'000'000'000);
  EXPECT_EQ(parse_duration("90m"), int64_t{90} * 60 * 1'000'000'000);
  for (const char* bad : {"", "d", "5", "5y", "-1d", "1.5h"}) {
    EXPECT_FALSE(parse_duration(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace trovik::read
