// A record cut short by a failed write never takes the next record with it, and the check that
// prevents it costs an ordinary append nothing.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "fault_loop.h"
#include "json/append_line.h"

namespace trovik::fault {
namespace {

const std::string kFirst = "{\"kind\":\"run_start\"}\n";
const std::string kRecord =
    "{\"kind\":\"track\",\"note\":\"a \\\"quoted\\\" note\",\"value\":42}\n";
const std::string kNext = "{\"kind\":\"track\",\"value\":[1,2]}\n";

// Counts every call by kind; with `cut_at`, the first write takes that many bytes and the second
// fails as on a full disk.
class CountingFaults : public FaultInjector {
 public:
  std::optional<int> should_fail(SystemCall call) override {
    ++calls[call];
    if (call == SystemCall::kWrite && cut_at && calls[call] == 2) return ENOSPC;
    return std::nullopt;
  }
  std::optional<size_t> short_write(size_t size) override {
    if (cut_at && calls[SystemCall::kWrite] == 1) return std::min(size, *cut_at);
    return std::nullopt;
  }
  std::map<SystemCall, int> calls;
  std::optional<size_t> cut_at;
};

class TornLine : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "trovik-torn-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    file_ = directory_ + "/run.jsonl";
    std::ofstream(file_, std::ios::binary) << kFirst;
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  std::string contents() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::map<SystemCall, int> append(const std::string& line, std::optional<size_t> cut = {}) {
    CountingFaults faults;
    faults.cut_at = cut;
    InstalledInjector installed(&faults);
    EXPECT_EQ(json::append_line(file_, line).ok(), !cut);
    return faults.calls;
  }

  std::string directory_;
  std::string file_;
};

// Cuts at every offset are in append_jsonl_fault_test.cpp; here, what the check costs and how
// it behaves across a fork.
TEST_F(TornLine, OnlyTheAppendAfterATearLooksAtTheFile) {
  const std::map<SystemCall, int> plain = append(kNext);
  EXPECT_EQ(plain, (std::map<SystemCall, int>{
                       {SystemCall::kOpen, 1}, {SystemCall::kWrite, 1}, {SystemCall::kClose, 1}}));
  append(kRecord, 5);
  const std::map<SystemCall, int> checked = append(kNext);
  EXPECT_EQ(checked.at(SystemCall::kOpen), 2);
  EXPECT_EQ(checked.at(SystemCall::kStat), 1);
  EXPECT_EQ(checked.at(SystemCall::kRead), 1);
  EXPECT_EQ(checked.at(SystemCall::kWrite), 1) << "the line feed goes in the record's one write";
  EXPECT_EQ(append(kNext), plain);
}

// A forked child inherits what the parent knows; whoever appends first ends the line, once.
TEST_F(TornLine, ForkedChildAndParentEndTheLineOnce) {
  append(kRecord, 7);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(json::append_line(file_, kNext).ok() ? 0 : 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  append(kNext);
  EXPECT_EQ(contents(), kFirst + kRecord.substr(0, 7) + "\n" + kNext + kNext);
}

}  // namespace
}  // namespace trovik::fault
