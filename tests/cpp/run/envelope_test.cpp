#include "run/envelope.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

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
                    CreatedAtCase{253402300799, 0, "9999-12-31T23:59:59+00:00"}));

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
    testing::Values(ElapsedCase{{10, 0}, {10, 999999}, 0},
                    ElapsedCase{{10, 0}, {10, 2999000}, 2},
                    ElapsedCase{{10, 900000000}, {11, 100000000}, 200},  // borrow across a second
                    ElapsedCase{{10, 0}, {11, 250000000}, 1250},
                    ElapsedCase{{10, 500}, {10, 400}, 0},               // clock earlier than start
                    ElapsedCase{{11, 0}, {10, 999999999}, 0},
                    ElapsedCase{{0, 0}, {kMaxSeconds, 999999999},
                                uint64_t{9223372036854775807} * 1000 + 999},
                    ElapsedCase{{-kMaxSeconds, 0}, {kMaxSeconds, 0},
                                std::numeric_limits<uint64_t>::max()}));

}  // namespace
}  // namespace trovik::run
