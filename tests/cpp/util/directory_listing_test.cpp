#include "util/directory_listing.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

namespace trovik {
namespace {

namespace fs = std::filesystem;

class DirectoryListing : public testing::Test {
 protected:
  void SetUp() override {
    directory_ = fs::temp_directory_path() / ("trovik-listing-test-" + std::to_string(::getpid()));
    fs::remove_all(directory_);
    fs::create_directories(directory_ / "sub");
    std::ofstream(directory_ / "file.jsonl") << "{}\n";
    fs::create_symlink("file.jsonl", directory_ / "link");
  }
  void TearDown() override { fs::remove_all(directory_); }

  fs::path directory_;
};

TEST_F(DirectoryListing, NamesEveryEntryWithItsTypeButDotAndDotDot) {
  Result<std::vector<DirectoryEntry>> listed = list_directory(directory_.string());
  ASSERT_TRUE(listed.ok()) << listed.status().ToString();
  std::vector<DirectoryEntry> entries = listed.value();
  std::sort(entries.begin(), entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "file.jsonl");
  EXPECT_EQ(entries[1].name, "link");
  EXPECT_EQ(entries[2].name, "sub");
  // Some file systems don't say; where they do, it must be right.
  using Type = DirectoryEntry::Type;
  EXPECT_TRUE(entries[0].type == Type::kRegularFile || entries[0].type == Type::kUnknown);
  EXPECT_TRUE(entries[1].type == Type::kSymbolicLink || entries[1].type == Type::kUnknown);
  EXPECT_TRUE(entries[2].type == Type::kDirectory || entries[2].type == Type::kUnknown);
}

TEST_F(DirectoryListing, WhatIsNoDirectoryIsAnOsError) {
  for (const fs::path& path : {directory_ / "missing", directory_ / "file.jsonl"}) {
    Result<std::vector<DirectoryEntry>> listed = list_directory(path.string());
    ASSERT_FALSE(listed.ok()) << path;
    EXPECT_EQ(listed.status().kind(), ErrorKind::kOSError);
    EXPECT_NE(listed.status().message().find("(os error"), std::string::npos);
  }
}

TEST_F(DirectoryListing, ClosesWhatItOpens) {
  auto open_descriptors = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
  };
  const auto before = open_descriptors();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(list_directory(directory_.string()).ok());
  EXPECT_FALSE(list_directory((directory_ / "file.jsonl").string()).ok());
  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
}  // namespace trovik
