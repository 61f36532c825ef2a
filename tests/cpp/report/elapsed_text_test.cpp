#include "report/elapsed_text.h"

#include <gtest/gtest.h>

namespace trovik::report {
namespace {

TEST(FormatElapsed, PicksTheUnitAReaderExpects) {
  EXPECT_EQ(format_elapsed(850), "850 ms");
  EXPECT_EQ(format_elapsed(12345), "12.3 s");
  EXPECT_EQ(format_elapsed(245000), "4 min 05 s");
  EXPECT_EQ(format_elapsed(7380000), "2 h 03 min");
}

}  // namespace
}  // namespace trovik::report
