#include "util/environment.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

namespace trovik {
namespace {

struct EnvironmentCase {
  const char* value;  // nullptr: unset
  std::string root;
  std::string temporary;
};

class Environment : public testing::TestWithParam<EnvironmentCase> {
 protected:
  void TearDown() override {
    ::unsetenv("TROVIK_DIR");
    ::unsetenv("TMPDIR");
  }
};

TEST_P(Environment, OnlyValidUtf8Counts) {
  for (const char* name : {"TROVIK_DIR", "TMPDIR"}) {
    if (GetParam().value) {
      ::setenv(name, GetParam().value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  EXPECT_EQ(trovik_root_directory(), GetParam().root);
  EXPECT_EQ(temporary_directory(), GetParam().temporary);
  if (GetParam().root == ".trovik") {
    EXPECT_EQ(environment_text("TROVIK_DIR"), std::nullopt);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, Environment,
    testing::Values(EnvironmentCase{nullptr, ".trovik", "/tmp"},
                    EnvironmentCase{"", "",
                                    "/tmp"},  // an empty root is a root; an empty TMPDIR is not
                    EnvironmentCase{"out/", "out/", "out/"},
                    EnvironmentCase{"~/$HOME", "~/$HOME", "~/$HOME"},
                    EnvironmentCase{"caf\xC3\xA9", "caf\xC3\xA9", "caf\xC3\xA9"},
                    EnvironmentCase{"bad\xFF", ".trovik", "/tmp"}));

}  // namespace
}  // namespace trovik
