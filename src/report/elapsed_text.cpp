#include "report/elapsed_text.h"

#include <cmath>
#include <cstdio>

namespace trovik::report {

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
