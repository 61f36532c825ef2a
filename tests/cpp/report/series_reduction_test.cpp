#include "report/series_reduction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace trovik::report {
namespace {

std::vector<SeriesPoint> ramp(int count) {
  std::vector<SeriesPoint> points;
  for (int i = 0; i < count; ++i) points.push_back({i, i * 10.0, std::sin(i * 0.01)});
  return points;
}

TEST(SeriesReduction, KeepsSpikesAndExtremesOfEverySlice) {
  std::vector<SeriesPoint> points = ramp(100000);
  points[31337].value = 1e6;
  points[77777].value = -1e6;
  const std::vector<SeriesPoint> kept = reduce_series(points, XAxis::kStep, 500);

  EXPECT_LE(kept.size(), 4u * 500);
  EXPECT_GE(kept.size(), 2u * 500);
  auto has_step = [&](int64_t step) {
    for (const SeriesPoint& point : kept) {
      if (point.step == step) return true;
    }
    return false;
  };
  EXPECT_TRUE(has_step(31337));
  EXPECT_TRUE(has_step(77777));
  EXPECT_TRUE(has_step(0));
  EXPECT_TRUE(has_step(99999));
  for (size_t i = 1; i < kept.size(); ++i) {
    EXPECT_LT(kept[i - 1].step, kept[i].step) << "points out of order at " << i;
  }
}

TEST(SeriesReduction, SliceBoundariesFollowTheChosenAxis) {
  // Elapsed time jumps once: by step the ten points spread over ten slices, by elapsed time all
  // but the last crowd into the first slice and only its extremes remain.
  std::vector<SeriesPoint> points;
  for (int i = 0; i < 10; ++i) {
    points.push_back({i, i == 9 ? 1e6 : static_cast<double>(i), static_cast<double>(i % 3)});
  }
  EXPECT_EQ(reduce_series(points, XAxis::kStep, 10).size(), 10u);
  const std::vector<SeriesPoint> by_time = reduce_series(points, XAxis::kElapsed, 10);
  ASSERT_EQ(by_time.size(), 4u);  // first, a low, a high, last of slice 0; then the lone last
  EXPECT_EQ(by_time.front().step, 0);
  EXPECT_EQ(by_time.back().step, 9);
}

TEST(SeriesReduction, DropsValuesNoChartCanPlace) {
  const std::vector<SeriesPoint> points = {
      {0, 0, 1}, {1, 1, NAN}, {2, 2, INFINITY}, {3, 3, -INFINITY}, {4, 4, 2}};
  const std::vector<SeriesPoint> kept = reduce_series(points, XAxis::kStep, 100);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].value, 1);
  EXPECT_EQ(kept[1].value, 2);
  EXPECT_TRUE(reduce_series({points.data() + 1, 3}, XAxis::kStep, 100).empty());
}

TEST(SeriesReduction, DegenerateRangesStillKeepTheirPoints) {
  const std::vector<SeriesPoint> one = {{7, 70, 3.5}};
  ASSERT_EQ(reduce_series(one, XAxis::kStep, 100).size(), 1u);
  // All at one step: one slice, whose first, last and extremes remain.
  const std::vector<SeriesPoint> same_step = {{5, 0, 1}, {5, 1, 9}, {5, 2, -4}, {5, 3, 2}};
  EXPECT_EQ(reduce_series(same_step, XAxis::kStep, 100).size(), 4u);
  // Points beyond a given range land in the edge slices instead of being lost.
  const std::vector<SeriesPoint> outside = {{-50, 0, 1}, {500, 0, 2}};
  EXPECT_EQ(reduce_series(outside, XAxis::kStep, 0, 10, 10).size(), 2u);
  EXPECT_TRUE(reduce_series(std::vector<SeriesPoint>{}, XAxis::kStep, 100).empty());
}

}  // namespace
}  // namespace trovik::report
