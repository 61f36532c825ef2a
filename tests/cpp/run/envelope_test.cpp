#include "run/envelope.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "json/reader.h"
#include "json/value.h"
#include "json/writer.h"
#include "version.h"

namespace trovik::run {
namespace {

// 2024-03-05T07:08:09Z
constexpr int64_t kSecond = 1709622489;

struct CreatedAtCase {
  int64_t seconds;
  int64_t nanoseconds;
  std::string expected;
};

class CreatedAt : public testing::TestWithParam<CreatedAtCase> {};

TEST_P(CreatedAt, FewestFractionDigitsThatHoldTheNanoseconds) {
  EXPECT_EQ(format_created_at({GetParam().seconds, GetParam().nanoseconds}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, CreatedAt,
    testing::Values(CreatedAtCase{kSecond, 0, "2024-03-05T07:08:09+00:00"},
                    CreatedAtCase{kSecond, 120000000, "2024-03-05T07:08:09.120+00:00"},
                    CreatedAtCase{kSecond, 5000000, "2024-03-05T07:08:09.005+00:00"},
                    CreatedAtCase{kSecond, 500000, "2024-03-05T07:08:09.000500+00:00"},
                    CreatedAtCase{kSecond, 5000, "2024-03-05T07:08:09.000005+00:00"},
                    CreatedAtCase{kSecond, 5, "2024-03-05T07:08:09.000000005+00:00"},
                    CreatedAtCase{kSecond, 123456780, "2024-03-05T07:08:09.123456780+00:00"},
                    CreatedAtCase{kSecond, 999999999, "2024-03-05T07:08:09.999999999+00:00"},
                    CreatedAtCase{0, 0, "1970-01-01T00:00:00+00:00"},
                    CreatedAtCase{951782400, 0, "2000-02-29T00:00:00+00:00"},
                    CreatedAtCase{951868800, 0, "2000-03-01T00:00:00+00:00"},
                    CreatedAtCase{4107456000, 0, "2100-02-28T00:00:00+00:00"},
                    CreatedAtCase{4107542400, 0, "2100-03-01T00:00:00+00:00"},
                    CreatedAtCase{1709596799, 5, "2024-03-04T23:59:59.000000005+00:00"},
                    CreatedAtCase{-1, 500000000, "1969-12-31T23:59:59.500+00:00"},
                    CreatedAtCase{-86400, 0, "1969-12-31T00:00:00+00:00"},
                    CreatedAtCase{-62167219200, 0, "0000-01-01T00:00:00+00:00"},
                    CreatedAtCase{253402300799, 0, "9999-12-31T23:59:59+00:00"}));

// The calendar arithmetic agrees with the C library's for instants spread over four centuries.
TEST(CreatedAt, AgreesWithGmtime) {
  std::mt19937_64 random(42);
  for (int i = 0; i < 100000; ++i) {
    const auto seconds = static_cast<int64_t>(random() % 16000000000) - 2000000000;
    const time_t t = static_cast<time_t>(seconds);
    tm fields{};
    ASSERT_NE(gmtime_r(&t, &fields), nullptr);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%04d-%02d-%02dT%02d:%02d:%02d+00:00",
                  fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                  fields.tm_min, fields.tm_sec);
    ASSERT_EQ(format_created_at({seconds, 0}), expected) << seconds;
  }
}

TEST(CreatedAt, IgnoresTheLocalTimeZone) {
  ::setenv("TZ", "Asia/Kolkata", 1);
  ::tzset();
  EXPECT_EQ(format_created_at({kSecond, 0}), "2024-03-05T07:08:09+00:00");
  ::unsetenv("TZ");
  ::tzset();
}

struct ElapsedCase {
  Timestamp start;
  Timestamp now;
  uint64_t expected;
};

class Elapsed : public testing::TestWithParam<ElapsedCase> {};

TEST_P(Elapsed, TruncatedNeverNegativeSaturating) {
  EXPECT_EQ(elapsed_ms(GetParam().start, GetParam().now), GetParam().expected);
}

constexpr int64_t kMaxSeconds = std::numeric_limits<int64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Durations, Elapsed,
    testing::Values(
        ElapsedCase{{10, 0}, {10, 999999}, 0}, ElapsedCase{{10, 0}, {10, 2999000}, 2},
        ElapsedCase{{10, 900000000}, {11, 100000000}, 200},  // borrow across a second
        ElapsedCase{{10, 0}, {11, 250000000}, 1250},
        ElapsedCase{{10, 500}, {10, 400}, 0},  // clock earlier than start
        ElapsedCase{{11, 0}, {10, 999999999}, 0},
        ElapsedCase{{0, 0}, {kMaxSeconds, 999999999}, uint64_t{9223372036854775807} * 1000 + 999},
        ElapsedCase{{-kMaxSeconds, 0}, {kMaxSeconds, 0}, std::numeric_limits<uint64_t>::max()}));

// --- the rendered line --------------------------------------------------------------------------

struct RecordCase {
  Run run;
  std::string kind;
  std::optional<std::string> note;
  std::string value;  // JSON text
  Timestamp created_at;
  uint64_t elapsed;
};

void PrintTo(const RecordCase& c, std::ostream* os) {
  *os << c.run.name << " / " << c.kind << " / " << c.value;
}

class RenderRecord : public testing::TestWithParam<RecordCase> {};

// The rendered line is exactly the line of the record built as an object and written.
TEST_P(RenderRecord, SameAsWritingTheRecordObject) {
  const RecordCase& c = GetParam();
  Result<json::Value> value = json::read_json(c.value);
  ASSERT_TRUE(value.ok()) << value.status().ToString();

  json::Object record;
  record.insert("schema_version", json::Value::unsigned_integer(1));
  record.insert("trovik_version", json::Value::string(TROVIK_VERSION));
  record.insert("run_id", json::Value::string(c.run.run_id));
  record.insert("experiment_name", json::Value::string(c.run.name));
  record.insert("kind", json::Value::string(c.kind));
  record.insert("value", value.value());
  record.insert("created_at", json::Value::string(format_created_at(c.created_at)));
  record.insert("elapsed_ms", json::Value::unsigned_integer(c.elapsed));
  if (c.note) record.insert("note", json::Value::string(*c.note));
  const std::string expected = json::to_json_text(json::Value::object(std::move(record))) + "\n";

  std::string line = json::to_json_text(value.value());
  const size_t value_size = line.size();
  render_record(c.run, c.kind, c.note, c.created_at, c.elapsed, line);
  EXPECT_EQ(line, expected);
  EXPECT_LE(line.size() - value_size, record_overhead(c.run, c.kind, c.note));
}

const Run kDemo{"6a1f0c2e-9b7d-4e3a-8c5f-2d4b6e8a0c1f", "demo", "runs/x.jsonl", {}};
// Every kind of byte the writer treats differently, an embedded NUL included.
constexpr char kAwkwardName[] = " \"q\" \\ \x01\x1f\n\xc3\xa9\x7f\0end ";
const Run kAwkward{"00000000-0000-4000-8000-000000000000",
                   std::string(kAwkwardName, sizeof kAwkwardName - 1),
                   "x",
                   {}};

INSTANTIATE_TEST_SUITE_P(
    Records, RenderRecord,
    testing::Values(
        RecordCase{
            kDemo, "track", "epoch 1", R"({"loss": 1, "acc": 2})", {kSecond, 120000000}, 1250},
        RecordCase{kDemo, "track", std::nullopt, "0.5", {kSecond, 0}, 0},
        RecordCase{kDemo, "track", "", "null", {kSecond, 5}, 2},
        RecordCase{kDemo,
                   "track",
                   "line\nbreak \"quoted\" \x1b",
                   R"(["a", {"z": [], "b": {}}])",
                   {0, 999999999},
                   std::numeric_limits<uint64_t>::max()},
        RecordCase{kAwkward,
                   "track",
                   "\xf0\x9f\x98\x80",
                   R"("\u0000 \ud83d\ude00")",
                   {253402300799, 1000},
                   18446744073709551},
        RecordCase{kAwkward,
                   "run_start",
                   std::nullopt,
                   R"({"git": null, "host": {"os": "linux"}, "process": {"argv": ["a b"]}})",
                   {951782400, 500000},
                   7}));

}  // namespace
}  // namespace trovik::run
