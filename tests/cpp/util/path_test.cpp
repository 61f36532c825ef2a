#include "util/path.h"

#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace trovik {
namespace {

namespace fs = std::filesystem;

TEST(AbsolutePath, JoinsTheWorkingDirectoryReadNow) {
  char pattern[] = "/tmp/trovik-path-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const fs::path previous = fs::current_path();
  const std::string directory = pattern;
  fs::current_path(directory);
  EXPECT_EQ(absolute_path(".trovik/runs/a.jsonl"), directory + "/.trovik/runs/a.jsonl");
  EXPECT_EQ(absolute_path("./x/../runs/a.jsonl"), directory + "/./x/../runs/a.jsonl");
  EXPECT_EQ(absolute_path("/already/absolute"), "/already/absolute");
  // A working directory that is gone cannot be read: the path stays as it is.
  fs::remove(directory);
  EXPECT_EQ(absolute_path("runs/a.jsonl"), "runs/a.jsonl");
  fs::current_path(previous);
}

}  // namespace
}  // namespace trovik
