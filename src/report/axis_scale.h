#pragma once

#include <string>
#include <vector>

namespace trovik::report {

// A chart axis: the drawn range, rounded outward to whole ticks, and the ticks themselves, spaced
// 1, 2 or 5 times a power of ten so that their labels stay short.
class AxisScale {
 public:
  // Covers [low, high] with about `target_ticks` ticks. A range of one value (a constant series, a
  // single point) is widened around it so that it still has room and ticks. With `whole_numbers`
  // (steps) ticks never fall between integers.
  AxisScale(double low, double high, int target_ticks, bool whole_numbers = false);

  double low() const { return low_; }
  double high() const { return high_; }
  const std::vector<double>& ticks() const { return ticks_; }

  // Where `value` lies between low (0) and high (1).
  double fraction(double value) const { return (value - low_) / (high_ - low_); }

  // A tick's label, with just the digits that tell the ticks apart ("0.25", "150k", "2e-06").
  std::string label(double value) const;

 private:
  double low_ = 0;
  double high_ = 1;
  double spacing_ = 1;
  std::vector<double> ticks_;
};

// Elapsed time as a reader takes it in at a glance: "850 ms", "12.3 s", "4 min 05 s", "2 h 03 min".
std::string format_elapsed(double milliseconds);

}  // namespace trovik::report
