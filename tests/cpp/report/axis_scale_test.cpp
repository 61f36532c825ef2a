#include "report/axis_scale.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trovik::report {
namespace {

std::vector<std::string> labels(const AxisScale& scale) {
  std::vector<std::string> out;
  for (double tick : scale.ticks()) out.push_back(scale.label(tick));
  return out;
}

TEST(AxisScale, TicksAreRoundNumbersCoveringTheRange) {
  const AxisScale loss(0.0312, 2.47, 5);
  EXPECT_LE(loss.low(), 0.0312);
  EXPECT_GE(loss.high(), 2.47);
  EXPECT_EQ(labels(loss), (std::vector<std::string>{"0.0", "0.5", "1.0", "1.5", "2.0", "2.5"}));

  const AxisScale negative(-3.2, -0.4, 5);
  EXPECT_EQ(labels(negative), (std::vector<std::string>{"-4", "-3", "-2", "-1", "0"}));
}

TEST(AxisScale, StepsNeverGetFractionalTicks) {
  const AxisScale steps(0, 3, 6, true);
  EXPECT_EQ(labels(steps), (std::vector<std::string>{"0", "1", "2", "3"}));
}

TEST(AxisScale, FarMagnitudesStayShort) {
  EXPECT_EQ(labels(AxisScale(0, 3e7, 3)), (std::vector<std::string>{"0", "10M", "20M", "30M"}));
  EXPECT_EQ(labels(AxisScale(0, 2e5, 4, true)),
            (std::vector<std::string>{"0", "50k", "100k", "150k", "200k"}));
  EXPECT_EQ(labels(AxisScale(0, 1.2e6, 6, true)).back(), "1.2M");
  EXPECT_EQ(labels(AxisScale(0, 3e16, 3)).back(), "3e+16");
  const std::vector<std::string> tiny = labels(AxisScale(1e-6, 4e-6, 3));
  EXPECT_EQ(tiny.front(), "1e-06");
  EXPECT_EQ(tiny.back(), "4e-06");
}

TEST(AxisScale, OneValueStillGetsARangeWithTicks) {
  for (double value : {0.0, 0.5, -1234.0, 1e-9}) {
    const AxisScale scale(value, value, 5);
    EXPECT_LT(scale.low(), value) << value;
    EXPECT_GT(scale.high(), value) << value;
    EXPECT_GE(scale.ticks().size(), 2u) << value;
  }
}

TEST(FormatElapsed, PicksTheUnitAReaderExpects) {
  EXPECT_EQ(format_elapsed(850), "850 ms");
  EXPECT_EQ(format_elapsed(12345), "12.3 s");
  EXPECT_EQ(format_elapsed(245000), "4 min 05 s");
  EXPECT_EQ(format_elapsed(7380000), "2 h 03 min");
}

}  // namespace
}  // namespace trovik::report
