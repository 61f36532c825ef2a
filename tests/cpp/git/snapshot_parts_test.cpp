// The pure pieces of the snapshot: reading git's index listing, finding large files, quoting the
// names the commit message lists.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "git/index_listing.h"
#include "git/large_files.h"

namespace trovik::git {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;  // NOLINT(google-build-using-namespace)

TEST(IndexListing, SortsEntriesByTheirTags) {
  const IndexListing listing = parse_index_listing(
      "H plain\0h assumed\0S sparse\0s both\0? new file\0? sub/\xC3\xA9 x\0M merged\0"
      "bad\0? \0"
      "H last with space \0"s);
  EXPECT_EQ(listing.assume_unchanged, (std::vector<std::string>{"assumed", "both"}));
  EXPECT_EQ(listing.skip_worktree, (std::vector<std::string>{"sparse", "both"}));
  EXPECT_EQ(listing.untracked, (std::vector<std::string>{"new file", "sub/\xC3\xA9 x"}));
  EXPECT_FALSE(listing.sparse_directories);
  EXPECT_TRUE(parse_index_listing("H a\0S dir/\0"s).sparse_directories);
  EXPECT_FALSE(parse_index_listing("? untracked/\0"s).sparse_directories);
  EXPECT_EQ(parse_index_listing("").untracked, std::vector<std::string>{});
}

TEST(IndexListing, NulSeparatedPaths) {
  EXPECT_EQ(nul_separated_paths("a\0b c\0\0d"s), (std::vector<std::string>{"a", "b c", "d"}));
  EXPECT_EQ(nul_separated_paths(""), std::vector<std::string>{});
}

TEST(LargeFiles, OnlyRegularFilesAboveTheLimit) {
  std::string pattern = (fs::temp_directory_path() / "trovik-large-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path top = pattern;
  const auto sized = [&](const std::string& name, std::uintmax_t size) {
    std::ofstream(top / name).flush();
    fs::resize_file(top / name, size);  // sparse: no disk used
  };
  sized("at-limit", kLargeFileBytes);
  sized("above", kLargeFileBytes + 1);
  sized("small", 10);
  fs::create_directory(top / "directory");
  fs::create_symlink("above", top / "link");
  const std::vector<LargeFile> large =
      large_files({"at-limit", "above", "small", "directory", "link", "missing"}, top.string());
  ASSERT_EQ(large.size(), 1u);
  EXPECT_EQ(large[0].path, "above");
  EXPECT_EQ(large[0].size, kLargeFileBytes + 1);
  fs::remove_all(top);
}

TEST(SnapshotMessage, OneLineUnlessFilesWereLeftOut) {
  EXPECT_EQ(snapshot_message("id", {}), "trovik: snapshot run id");
  EXPECT_EQ(snapshot_message("id", {{"data/ckpt.pt", 123}, {"a\nb\t\"c\"\\\x01", 7}}),
            "trovik: snapshot run id\n\n"
            "left out: data/ckpt.pt (123 bytes)\n"
            "left out: \"a\\nb\\t\\\"c\\\"\\\\\\001\" (7 bytes)");
}

}  // namespace
}  // namespace trovik::git
