// write_file_atomically under failing calls: the target keeps its old content and no temporary
// file is left behind, whichever call fails.
#include "util/atomic_file.h"

#include <errno.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fault/fault_loop.h"

namespace trovik {
namespace {

namespace fs = std::filesystem;

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class AtomicFile : public testing::TestWithParam<SystemCall> {
 protected:
  void SetUp() override {
    directory_ =
        fs::temp_directory_path() / ("trovik-atomic-file-test-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
    std::ofstream(directory_ / "report.html") << "earlier report";
  }
  void TearDown() override { fs::remove_all(directory_); }

  size_t entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(directory_), {}));
  }

  fs::path directory_;
};

TEST_P(AtomicFile, AFailedWriteLeavesTheEarlierFileAlone) {
  const std::string target = (directory_ / "report.html").string();
  const std::string content(200000, 'x');
  fault::FaultPlan plan;
  plan.call = GetParam();
  plan.fault.error = EIO;
  plan.write_chunk = 4096;  // many short writes, each a place to fail
  const size_t injected = fault::run_fault_loop(
      plan, [&] { return write_file_atomically(target, content); },
      [&](const fault::Injection& injection, const Status& status) {
        EXPECT_EQ(entries(), 1u) << "temporary file left behind";
        if (injection.reached) {
          EXPECT_FALSE(status.ok());
          EXPECT_EQ(read_text(target), "earlier report");
        } else {
          EXPECT_TRUE(status.ok()) << status.ToString();
          EXPECT_EQ(read_text(target), content);
        }
      });
  EXPECT_GE(injected, 1u);
}

INSTANTIATE_TEST_SUITE_P(Calls, AtomicFile,
                         testing::Values(SystemCall::kOpen, SystemCall::kWrite, SystemCall::kFsync,
                                         SystemCall::kClose, SystemCall::kRename),
                         [](const auto& info) {
                           return std::string(fault::call_name(info.param));
                         });

TEST(AtomicFileTarget, AMissingDirectoryIsAnOsError) {
  const Status status = write_file_atomically("/nonexistent-trovik-dir/report.html", "x");
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.kind(), ErrorKind::kOSError);
  EXPECT_NE(status.message().find("(os error 2)"), std::string::npos) << status.message();
}

// A link is followed to the file it names, relative to its own directory, and stays a link; a
// path that is not a regular file is left alone.
TEST_F(AtomicFile, FollowsLinksAndRefusesWhatIsNotARegularFile) {
  fs::create_directories(directory_ / "pages");
  fs::create_symlink("pages/report.html", directory_ / "link.html");
  fs::create_symlink("link.html", directory_ / "link-to-link.html");
  fs::create_symlink("pages/new.html", directory_ / "dangling.html");
  ASSERT_TRUE(write_file_atomically((directory_ / "link-to-link.html").string(), "via links").ok());
  EXPECT_TRUE(fs::is_symlink(directory_ / "link.html"));
  EXPECT_EQ(read_text(directory_ / "pages" / "report.html"), "via links");
  ASSERT_TRUE(write_file_atomically((directory_ / "dangling.html").string(), "made").ok());
  EXPECT_EQ(read_text(directory_ / "pages" / "new.html"), "made");

  const fs::path fifo = directory_ / "fifo.html";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const fs::path& refused : {fifo, directory_ / "pages"}) {
    const Status status = write_file_atomically(refused.string(), "x");
    ASSERT_FALSE(status.ok());
    EXPECT_EQ(status.kind(), ErrorKind::kValueError) << status.message();
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(read_text(directory_ / "report.html"), "earlier report");
}

}  // namespace
}  // namespace trovik
