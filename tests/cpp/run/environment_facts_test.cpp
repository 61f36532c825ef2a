#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/gpu_query.h"
#include "run/platform_facts.h"

namespace trovik::run {
namespace {

TEST(OsRelease, PrettyNameUnquotedLastOneWins) {
  EXPECT_EQ(
      os_release_pretty_name("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
      "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(os_release_pretty_name("PRETTY_NAME='It''s'\nPRETTY_NAME=\"a \\\"b\\\" \\$c\""),
            "a \"b\" $c");
  EXPECT_EQ(os_release_pretty_name("PRETTY_NAME=Plain\n"), "Plain");
  EXPECT_EQ(os_release_pretty_name("NAME=x\n# PRETTY_NAME=no\n"), std::nullopt);
}

TEST(GpuRows, NameDriverAndMemoryFromTheRight) {
  EXPECT_EQ(parse_gpu_rows("NVIDIA A100-SXM4-40GB, 535.104.05, 40960\n"
                           "Tesla K80, Rev 2, 470.1, [N/A]\r\n"
                           "garbage\n\n"),
            (std::vector<GpuFacts>{{"NVIDIA A100-SXM4-40GB", "535.104.05", 40960},
                                   {"Tesla K80, Rev 2", "470.1", std::nullopt}}));
}

}  // namespace
}  // namespace trovik::run
