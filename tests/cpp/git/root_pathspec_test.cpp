#include "git/root_pathspec.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace trovik::git {
namespace {

TEST(PathArithmetic, NormalComponents) {
  using Components = std::vector<std::string>;
  EXPECT_EQ(normal_components("/"), Components{});
  EXPECT_EQ(normal_components("/srv//proj/./out/"), (Components{"srv", "proj", "out"}));
  EXPECT_EQ(normal_components("/srv/proj/../other"), (Components{"srv", "other"}));
  EXPECT_EQ(normal_components("/../../a"), Components{"a"});
  EXPECT_EQ(normal_components("/a/b/../../.."), Components{});
  EXPECT_EQ(normal_components("/a/.../b"), (Components{"a", "...", "b"}));
}

struct WithinCase {
  const char* directory;
  const char* path;
  bool within;
};

class LiesWithin : public testing::TestWithParam<WithinCase> {};

TEST_P(LiesWithin, ComparesWholeComponents) {
  EXPECT_EQ(lies_within(GetParam().directory, GetParam().path), GetParam().within)
      << GetParam().directory << " / " << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(PathArithmetic, LiesWithin,
                         testing::Values(WithinCase{"/srv/proj", "/srv/proj/out", true},
                                         WithinCase{"/srv/proj", "/srv/proj", true},
                                         WithinCase{"/srv/proj", "/srv/proj/", true},
                                         WithinCase{"/srv/proj/", "/srv/proj/a/b", true},
                                         WithinCase{"/srv/proj", "/srv/project", false},
                                         WithinCase{"/srv/proj", "/srv/pro", false},
                                         WithinCase{"/srv/proj", "/srv", false},
                                         WithinCase{"/srv/proj", "/srv/proj/../out", false},
                                         WithinCase{"/srv/proj", "/srv/x/../proj/out", true},
                                         WithinCase{"/", "/anything", true}));

struct RelativeCase {
  const char* base;
  const char* target;
  const char* expected;
};

class RelativePath : public testing::TestWithParam<RelativeCase> {};

TEST_P(RelativePath, FromBaseToTarget) {
  EXPECT_EQ(relative_path(GetParam().base, GetParam().target), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    PathArithmetic, RelativePath,
    testing::Values(RelativeCase{"/srv/proj", "/srv/proj/out", "out"},
                    RelativeCase{"/srv/proj/scripts", "/srv/proj/out", "../out"},
                    RelativeCase{"/srv/proj/a/b", "/srv/proj/out/runs", "../../out/runs"},
                    RelativeCase{"/srv/proj", "/srv/proj", ""},
                    RelativeCase{"/srv/proj/out/x", "/srv/proj/out", ".."},
                    RelativeCase{"/srv/proj", "/srv/projects/o", "../projects/o"},
                    RelativeCase{"/", "/a/b", "a/b"}));

struct PathspecCase {
  const char* name;
  const char* root;
  const char* top_level;
  const char* working_directory;
  std::optional<std::string> expected;
};

class RootPathspec : public testing::TestWithParam<PathspecCase> {};

TEST_P(RootPathspec, WhatTheResetReceives) {
  EXPECT_EQ(root_pathspec(GetParam().root, GetParam().top_level, GetParam().working_directory),
            GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    PathArithmetic, RootPathspec,
    testing::Values(
        // From the top level, an absolute root inside gives the part below the top level.
        PathspecCase{"absolute_inside", "/srv/proj/out", "/srv/proj", "/srv/proj", "out"},
        PathspecCase{"absolute_inside_deep", "/srv/proj/a/b/", "/srv/proj", "/srv/proj", "a/b"},
        PathspecCase{"absolute_inside_from_subfolder", "/srv/proj/out", "/srv/proj",
                     "/srv/proj/scripts", "../out"},
        PathspecCase{"absolute_inside_below_working_directory", "/srv/proj/scripts/out",
                     "/srv/proj", "/srv/proj/scripts", "out"},
        PathspecCase{"absolute_top_level_itself", "/srv/proj", "/srv/proj", "/srv/proj", ""},
        PathspecCase{"absolute_outside", "/srv/runs", "/srv/proj", "/srv/proj", std::nullopt},
        PathspecCase{"absolute_sibling_sharing_a_prefix", "/srv/project/out", "/srv/proj",
                     "/srv/proj", std::nullopt},
        PathspecCase{"absolute_leaving_through_dot_dot", "/srv/proj/../runs", "/srv/proj",
                     "/srv/proj", std::nullopt},
        // A relative root is read by git from the same working directory: passed as it is.
        PathspecCase{"relative_default", ".trovik", "/srv/proj", "/srv/proj", ".trovik"},
        PathspecCase{"relative_from_subfolder", ".trovik", "/srv/proj", "/srv/proj/scripts",
                     ".trovik"},
        PathspecCase{"relative_up_but_inside", "../out", "/srv/proj", "/srv/proj/scripts",
                     "../out"},
        PathspecCase{"relative_empty", "", "/srv/proj", "/srv/proj", ""},
        PathspecCase{"relative_dot", ".", "/srv/proj", "/srv/proj", "."},
        PathspecCase{"relative_outside", "../runs", "/srv/proj", "/srv/proj", std::nullopt},
        PathspecCase{"relative_outside_from_subfolder", "../../runs", "/srv/proj",
                     "/srv/proj/scripts", std::nullopt},
        PathspecCase{"relative_back_in_through_the_top_level", "../proj/out", "/srv/proj",
                     "/srv/proj", "../proj/out"}),
    [](const testing::TestParamInfo<PathspecCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trovik::git
