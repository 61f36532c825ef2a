#include "git/environment_block.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trovik::git {
namespace {

using Entries = std::vector<std::string>;

struct OverrideCase {
  const char* name;
  Entries inherited;
  EnvironmentOverrides overrides;
  Entries expected;
};

class Overrides : public testing::TestWithParam<OverrideCase> {};

TEST_P(Overrides, RemoveThenAppend) {
  EXPECT_EQ(environment_with_overrides(GetParam().inherited, GetParam().overrides),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Environment, Overrides,
    testing::Values(
        OverrideCase{"none", {"A=1", "B=2"}, {}, {"A=1", "B=2"}},
        OverrideCase{"appended_in_order",
                     {"PATH=/bin"},
                     {{"GIT_INDEX_FILE", "/t/i"}, {"GIT_DIR", ".git"}, {"GIT_WORK_TREE", "/w"}},
                     {"PATH=/bin", "GIT_INDEX_FILE=/t/i", "GIT_DIR=.git", "GIT_WORK_TREE=/w"}},
        OverrideCase{"inherited_value_replaced_not_duplicated",
                     {"GIT_DIR=/elsewhere", "HOME=/h", "GIT_DIR=/again"},
                     {{"GIT_DIR", ".git"}},
                     {"HOME=/h", "GIT_DIR=.git"}},
        OverrideCase{"names_compared_whole",
                     {"GIT_DIRX=1", "GIT_DI=2", "XGIT_DIR=3", "GIT_DIR="},
                     {{"GIT_DIR", "d"}},
                     {"GIT_DIRX=1", "GIT_DI=2", "XGIT_DIR=3", "GIT_DIR=d"}},
        OverrideCase{"value_with_equals_sign", {"A=x=y"}, {{"B", "p=q"}}, {"A=x=y", "B=p=q"}},
        OverrideCase{"entry_without_equals_sign",
                     {"GIT_DIR", "ODD"},
                     {{"GIT_DIR", ""}},
                     {"ODD", "GIT_DIR="}}),
    [](const testing::TestParamInfo<OverrideCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trovik::git
