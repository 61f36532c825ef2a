#pragma once

#include <string>

#include "run/clock.h"

namespace trovik::run {

// The four facts an Experiment owns, fixed at creation.
struct Run {
  std::string run_id;  // 36-character lower-case hyphenated version 4 UUID
  std::string name;    // the experiment name exactly as passed, untrimmed
  std::string path;    // <root>/runs/<run_id>.jsonl as built; relative when the root is relative
  Timestamp start;     // monotonic instant from which elapsed_ms is measured
};

}  // namespace trovik::run
