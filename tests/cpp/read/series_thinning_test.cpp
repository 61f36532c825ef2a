#include "read/series_thinning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <vector>

namespace trovik::read {
namespace {

// The buckets a series must end up with at `width_log2`, computed from all points at once.
std::vector<SeriesBucket> bucketed_at_once(const std::vector<ThinnedPoint>& points,
                                           int width_log2) {
  std::map<int64_t, std::vector<ThinnedPoint>> by_index;
  for (const ThinnedPoint& point : points) by_index[point.step >> width_log2].push_back(point);
  std::vector<SeriesBucket> out;
  for (const auto& [index, members] : by_index) {
    SeriesBucket bucket{index, members.size(), 0, members[0], members[0], members[0], members[0]};
    double sum = 0;
    for (const ThinnedPoint& point : members) {
      sum += point.value;
      if (point.step < bucket.first.step) bucket.first = point;
      if (point.step >= bucket.last.step) bucket.last = point;
      if (point.value < bucket.lowest.value) bucket.lowest = point;
      if (point.value > bucket.highest.value) bucket.highest = point;
    }
    bucket.mean = sum / static_cast<double>(members.size());
    out.push_back(bucket);
  }
  return out;
}

void expect_same_point(const ThinnedPoint& actual, const ThinnedPoint& expected) {
  EXPECT_EQ(actual.step, expected.step);
  EXPECT_EQ(actual.elapsed_ms, expected.elapsed_ms);
  EXPECT_EQ(actual.value, expected.value);
}

void expect_buckets(const SeriesThinning& thinning, const std::vector<SeriesBucket>& expected) {
  ASSERT_EQ(thinning.buckets().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const SeriesBucket& bucket = thinning.buckets()[i];
    EXPECT_EQ(bucket.index, expected[i].index);
    EXPECT_EQ(bucket.count, expected[i].count);
    EXPECT_NEAR(bucket.mean, expected[i].mean, 1e-9 * (1 + std::abs(expected[i].mean)));
    expect_same_point(bucket.first, expected[i].first);
    expect_same_point(bucket.last, expected[i].last);
    expect_same_point(bucket.lowest, expected[i].lowest);
    expect_same_point(bucket.highest, expected[i].highest);
  }
}

struct Feed {
  const char* name;
  size_t max_buckets;
  size_t points;
  bool shuffled_steps;  // steps out of order and repeated, as from several writers
};

class SeriesThinningFeeds : public testing::TestWithParam<Feed> {};

// Fed point by point, merging as it goes, the thinning holds exactly what bucketing all points at
// its final width gives, and never more buckets than allowed.
TEST_P(SeriesThinningFeeds, EqualsBucketingAllPointsAtOnce) {
  const Feed& feed = GetParam();
  std::mt19937_64 random(feed.points);
  std::uniform_int_distribution<int64_t> jitter(-40, 40);
  std::normal_distribution<double> noise(0, 1);
  std::vector<ThinnedPoint> points;
  for (size_t i = 0; i < feed.points; ++i) {
    const int64_t step = static_cast<int64_t>(i) + (feed.shuffled_steps ? jitter(random) : 0);
    points.push_back({step, 3.0 * static_cast<double>(i), std::exp(-0.001 * i) + noise(random)});
  }
  SeriesThinning thinning(feed.max_buckets);
  for (const ThinnedPoint& point : points) {
    thinning.add(point.step, point.elapsed_ms, point.value);
    ASSERT_LE(thinning.buckets().size(), feed.max_buckets);
  }
  EXPECT_EQ(thinning.points(), feed.points);
  expect_buckets(thinning, bucketed_at_once(points, thinning.width_log2()));
  // Half as many buckets would have been enough for a narrower width: the width is the least.
  if (thinning.width_log2() > 0) {
    EXPECT_GT(bucketed_at_once(points, thinning.width_log2() - 1).size(), feed.max_buckets);
  }
}

INSTANTIATE_TEST_SUITE_P(Feeds, SeriesThinningFeeds,
                         testing::Values(Feed{"few_points", 64, 10, false},
                                         Feed{"in_order", 100, 100'000, false},
                                         Feed{"shuffled", 64, 20'000, true},
                                         Feed{"two_buckets", 2, 5'000, true}),
                         [](const testing::TestParamInfo<Feed>& info) { return info.param.name; });

TEST(SeriesThinning, SpikesSurviveAsExtremes) {
  SeriesThinning thinning(500);
  for (int64_t step = 0; step < 100'000; ++step) {
    const double value = step == 31337 ? 1e6 : step == 77777 ? -1e6 : std::sin(step * 0.01);
    thinning.add(step, 0, value);
  }
  int spikes = 0;
  for (const SeriesBucket& bucket : thinning.buckets()) {
    if (bucket.highest.step == 31337) spikes += bucket.highest.value == 1e6;
    if (bucket.lowest.step == 77777) spikes += bucket.lowest.value == -1e6;
  }
  EXPECT_EQ(spikes, 2);
  EXPECT_EQ(thinning.buckets().front().first.step, 0);
  EXPECT_EQ(thinning.buckets().back().last.step, 99'999);
}

// A short run and a long one coarsened to the long one's width hold buckets of the same steps,
// which is what lets a group be averaged bucket by bucket.
TEST(SeriesThinning, CoarseningToAnotherWidthLinesBucketsUp) {
  SeriesThinning short_run(64);
  SeriesThinning long_run(64);
  std::vector<ThinnedPoint> short_points;
  for (int64_t step = 0; step < 30'000; ++step) {
    long_run.add(step, 0, 1.0 / static_cast<double>(step + 1));
    if (step < 200) {
      short_run.add(step, 0, 2.0 * static_cast<double>(step));
      short_points.push_back({step, 0, 2.0 * static_cast<double>(step)});
    }
  }
  ASSERT_LT(short_run.width_log2(), long_run.width_log2());
  short_run.coarsen_to(long_run.width_log2());
  EXPECT_EQ(short_run.width_log2(), long_run.width_log2());
  expect_buckets(short_run, bucketed_at_once(short_points, long_run.width_log2()));
  EXPECT_EQ(short_run.buckets().front().index, long_run.buckets().front().index);
  short_run.coarsen_to(0);  // never narrower
  EXPECT_EQ(short_run.width_log2(), long_run.width_log2());
}

TEST(SeriesThinning, ExtremeStepsAndValuesStayFinite) {
  constexpr double kLargest = std::numeric_limits<double>::max();
  SeriesThinning thinning(4);
  thinning.add(std::numeric_limits<int64_t>::min(), 0, -kLargest);
  thinning.add(std::numeric_limits<int64_t>::max(), 1, kLargest);
  thinning.add(0, 2, kLargest);
  thinning.add(1, 3, kLargest);
  thinning.add(2, 4, NAN);
  thinning.add(3, 5, INFINITY);
  EXPECT_EQ(thinning.points(), 4u);
  EXPECT_LE(thinning.buckets().size(), 4u);
  for (const SeriesBucket& bucket : thinning.buckets()) {
    EXPECT_TRUE(std::isfinite(bucket.mean)) << bucket.index;
  }
  EXPECT_EQ(thinning.buckets().back().mean, kLargest);
}

}  // namespace
}  // namespace trovik::read
