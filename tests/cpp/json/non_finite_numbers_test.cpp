#include "json/non_finite_numbers.h"

#include <gtest/gtest.h>

#include <string>

namespace trovik::json {
namespace {

class NonFinite : public testing::TestWithParam<std::pair<std::string, bool>> {};

// The words count only outside strings, however the strings escape their quotes.
TEST_P(NonFinite, FoundOnlyOutsideStrings) {
  EXPECT_EQ(holds_non_finite_number(GetParam().first), GetParam().second) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, NonFinite,
    testing::Values(std::pair{"NaN", true}, std::pair{"[1.0, -Infinity]", true},
                    std::pair{"{\"x\": Infinity}", true}, std::pair{"{\"NaN\": 1}", false},
                    std::pair{"\"Infinity\"", false}, std::pair{"[\"a\\\"NaN\", 2]", false},
                    std::pair{"[\"a\\\\\", NaN]", true}, std::pair{"[null, true, 1e5]", false}));

}  // namespace
}  // namespace trovik::json
