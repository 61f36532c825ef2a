#include "read/series_thinning.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace trovik::read {
namespace {

constexpr int kWidestLog2 = 63;

// The weighted mean of two finite means without an intermediate sum that could overflow near
// the largest doubles; rounding can still step past them, so the result is clamped back.
double combined_mean(double mean_a, uint64_t count_a, double mean_b, uint64_t count_b) {
  const double share_b = static_cast<double>(count_b) / static_cast<double>(count_a + count_b);
  const double mean = mean_a * (1 - share_b) + mean_b * share_b;
  constexpr double kLargest = std::numeric_limits<double>::max();
  return std::clamp(mean, -kLargest, kLargest);
}

// How many buckets lie between two indexes, minus one, without overflowing.
uint64_t index_distance(int64_t low, int64_t high) {
  return static_cast<uint64_t>(high) - static_cast<uint64_t>(low);
}

}  // namespace

void merge_bucket(SeriesBucket& earlier, const SeriesBucket& later) {
  earlier.mean = combined_mean(earlier.mean, earlier.count, later.mean, later.count);
  earlier.count += later.count;
  earlier.last = later.last;
  if (later.lowest.value < earlier.lowest.value) earlier.lowest = later.lowest;
  if (later.highest.value > earlier.highest.value) earlier.highest = later.highest;
}

SeriesThinning::SeriesThinning(size_t max_buckets)
    : max_buckets_(std::max<size_t>(max_buckets, 2)) {}

void SeriesThinning::add(int64_t step, double elapsed_ms, double value) {
  if (!std::isfinite(value)) return;
  const ThinnedPoint point{step, elapsed_ms, value};
  if (!buckets_.empty()) {
    widen_to_fit(std::min(buckets_.front().index, step >> width_log2_),
                 std::max(buckets_.back().index, step >> width_log2_));
  }
  ++points_;
  const int64_t index = step >> width_log2_;
  // Steps mostly grow, so the point belongs to the last bucket or a new one after it.
  auto at = buckets_.end();
  if (!buckets_.empty() && buckets_.back().index > index) {
    at = std::lower_bound(buckets_.begin(), buckets_.end(), index,
                          [](const SeriesBucket& bucket, int64_t i) { return bucket.index < i; });
  } else if (!buckets_.empty() && buckets_.back().index == index) {
    at = buckets_.end() - 1;
  }
  if (at == buckets_.end() || at->index != index) {
    buckets_.insert(at, SeriesBucket{index, 1, value, point, point, point, point});
    return;
  }
  SeriesBucket& bucket = *at;
  bucket.mean = combined_mean(bucket.mean, bucket.count, value, 1);
  ++bucket.count;
  if (step < bucket.first.step) bucket.first = point;
  if (step >= bucket.last.step) bucket.last = point;
  if (value < bucket.lowest.value) bucket.lowest = point;
  if (value > bucket.highest.value) bucket.highest = point;
}

void SeriesThinning::coarsen_to(int width_log2) {
  width_log2 = std::min(width_log2, kWidestLog2);
  while (width_log2_ < width_log2) coarsen_once();
}

void SeriesThinning::widen_to_fit(int64_t low, int64_t high) {
  while (index_distance(low, high) >= max_buckets_ && width_log2_ < kWidestLog2) {
    coarsen_once();
    low >>= 1;
    high >>= 1;
  }
}

void SeriesThinning::coarsen_once() {
  ++width_log2_;
  size_t kept = 0;
  for (size_t i = 0; i < buckets_.size(); ++i) {
    SeriesBucket bucket = buckets_[i];
    bucket.index >>= 1;
    if (kept > 0 && buckets_[kept - 1].index == bucket.index) {
      merge_bucket(buckets_[kept - 1], bucket);
    } else {
      buckets_[kept++] = bucket;
    }
  }
  buckets_.resize(kept);
}

}  // namespace trovik::read
