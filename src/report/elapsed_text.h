#pragma once

#include <string>

namespace trovik::report {

// Elapsed time as a reader takes it in at a glance: "850 ms", "12.3 s", "4 min 05 s", "2 h 03 min".
std::string format_elapsed(double milliseconds);

}  // namespace trovik::report
