#include "report/axis_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace trovik::report {
namespace {

// The smallest of 1, 2, 5 times a power of ten that is at least `rough`.
double nice_spacing(double rough) {
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double multiple : {1.0, 2.0, 5.0}) {
    if (multiple * power >= rough * (1 - 1e-9)) return multiple * power;
  }
  return 10 * power;
}

}  // namespace

AxisScale::AxisScale(double low, double high, int target_ticks, bool whole_numbers) {
  if (!std::isfinite(low) || !std::isfinite(high) || low > high) {
    low = 0;
    high = 1;
  }
  if (low == high) {
    const double margin = low == 0 ? 1 : std::abs(low) * 0.05;
    low -= margin;
    high += margin;
  }
  spacing_ = nice_spacing((high - low) / std::max(target_ticks, 1));
  if (whole_numbers) spacing_ = std::max(spacing_, 1.0);
  low_ = std::floor(low / spacing_ + 1e-9) * spacing_;
  high_ = std::ceil(high / spacing_ - 1e-9) * spacing_;
  if (high_ <= low_) high_ = low_ + spacing_;
  const long steps = std::lround((high_ - low_) / spacing_);
  for (long i = 0; i <= steps; ++i) {
    double tick = low_ + static_cast<double>(i) * spacing_;
    // A tick that should be zero comes out as a rounding residue like 1e-17.
    if (std::abs(tick) < spacing_ * 1e-9) tick = 0;
    ticks_.push_back(tick);
  }
}

std::string AxisScale::label(double value) const {
  char text[64];
  const double largest = std::max(std::abs(low_), std::abs(high_));
  const int spacing_exponent = static_cast<int>(std::floor(std::log10(spacing_) + 1e-9));
  if (spacing_ >= 1000 && largest < 1e15) {
    // Thousands and millions as "50k", "1.5M": long runs have step counts in the millions.
    const bool millions = largest >= 1e6;
    const double unit = millions ? 1e6 : 1e3;
    const int decimals =
        std::max(0, -static_cast<int>(std::floor(std::log10(spacing_ / unit) + 1e-9)));
    (void)std::snprintf(text, sizeof text, "%.*f%s", decimals, value / unit, millions ? "M" : "k");
    if (value == 0) (void)std::snprintf(text, sizeof text, "0");
  } else if (spacing_ >= 1e-4 && largest < 1e7) {
    const int decimals = std::max(0, -spacing_exponent);
    (void)std::snprintf(text, sizeof text, "%.*f", decimals, value);
  } else {
    const int largest_exponent = static_cast<int>(std::floor(std::log10(largest)));
    const int digits = std::clamp(largest_exponent - spacing_exponent, 0, 12);
    (void)std::snprintf(text, sizeof text, "%.*e", digits, value);
  }
  std::string label(text);
  if (label.find_first_not_of("-0.") == std::string::npos && label.front() == '-') {
    label.erase(0, 1);
  }
  return label;
}

std::string format_elapsed(double milliseconds) {
  char text[64];
  if (!std::isfinite(milliseconds) || milliseconds < 0) return "?";
  if (milliseconds < 1000) {
    (void)std::snprintf(text, sizeof text, "%.0f ms", milliseconds);
  } else if (milliseconds < 60'000) {
    (void)std::snprintf(text, sizeof text, "%.1f s", milliseconds / 1000);
  } else if (milliseconds < 3'600'000) {
    const long seconds = std::lround(std::floor(milliseconds / 1000));
    (void)std::snprintf(text, sizeof text, "%ld min %02ld s", seconds / 60, seconds % 60);
  } else {
    const long minutes = std::lround(std::floor(milliseconds / 60'000));
    (void)std::snprintf(text, sizeof text, "%ld h %02ld min", minutes / 60, minutes % 60);
  }
  return text;
}

}  // namespace trovik::report
