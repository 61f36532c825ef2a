#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trovik::read {

// A point as the thinning keeps it.
struct ThinnedPoint {
  int64_t step = 0;
  double elapsed_ms = 0;
  double value = 0;
};

// The points whose steps fall into one aligned interval [index << width_log2, (index + 1) <<
// width_log2). `mean` is taken over all of them, so that a smoothing or an average computed from
// buckets weighs every point, not only the kept ones.
struct SeriesBucket {
  int64_t index = 0;
  uint64_t count = 0;
  double mean = 0;
  // The lowest and highest step, the smallest and largest value. Of equal steps, `first` keeps the
  // point added first and `last` the one added last; of equal values, the point held first stays.
  ThinnedPoint first;
  ThinnedPoint last;
  ThinnedPoint lowest;
  ThinnedPoint highest;
};

// Thins one series as its points arrive, in file order, to at most `max_buckets` buckets of
// 2^width_log2 steps each: the shape (first, last, lowest, highest point) and the count and mean of
// each bucket. When a point would need more buckets, the width doubles and neighbouring buckets
// merge pairwise, so the state never grows with the number of points. Because widths are powers of
// two and buckets start at multiples of their width, two series thinned to the same width have
// their buckets at the same steps: a bucket index names the same steps in every run. Points whose
// value is not finite are left out, as no chart can place them.
class SeriesThinning {
 public:
  static constexpr size_t kDefaultBuckets = 1024;

  // `max_buckets` below 2 is taken as 2: two buckets cover any range of 64-bit steps.
  explicit SeriesThinning(size_t max_buckets = kDefaultBuckets);

  void add(int64_t step, double elapsed_ms, double value);

  // Doubles the width until it is 2^width_log2; a narrower or equal width changes nothing.
  void coarsen_to(int width_log2);

  int width_log2() const { return width_log2_; }
  // In ascending order of index.
  const std::vector<SeriesBucket>& buckets() const { return buckets_; }
  uint64_t points() const { return points_; }
  size_t max_buckets() const { return max_buckets_; }

 private:
  // Doubles the width until buckets from `low` to `high` (at the current width) fit.
  void widen_to_fit(int64_t low, int64_t high);
  void coarsen_once();

  size_t max_buckets_;
  int width_log2_ = 0;
  uint64_t points_ = 0;
  std::vector<SeriesBucket> buckets_;
};

// Folds `later` (the bucket of the next higher index at the same width) into `earlier`.
void merge_bucket(SeriesBucket& earlier, const SeriesBucket& later);

}  // namespace trovik::read
