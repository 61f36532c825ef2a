#include "util/path.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace trovik {
namespace {

TEST(AbsolutePath, JoinsTheWorkingDirectoryUnlessUnreadable) {
  char pattern[] = "/tmp/trovik-path-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(pattern);
  EXPECT_EQ(absolute_path("./x/../runs/a.jsonl"), std::string(pattern) + "/./x/../runs/a.jsonl");
  EXPECT_EQ(absolute_path("/already/absolute"), "/already/absolute");
  std::filesystem::remove(pattern);  // a removed working directory cannot be read
  EXPECT_EQ(absolute_path("runs/a.jsonl"), "runs/a.jsonl");
  std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace trovik
