#include "util/random_hex.h"

#include <cstdio>
#include <random>

namespace trovik {

std::string random_hex() {
  std::random_device source;
  std::string hex;
  for (int i = 0; i < 4; ++i) {
    char word[9];
    (void)std::snprintf(word, sizeof word, "%08x", static_cast<unsigned>(source()));
    hex += word;
  }
  return hex;
}

}  // namespace trovik
