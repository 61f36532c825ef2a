// A record cut short by a failed write never takes the next record with it, and the check that
// prevents it costs the ordinary append nothing.
#include <errno.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fault_loop.h"
#include "json/append_line.h"
#include "json/reader.h"

namespace trovik::fault {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFirstLine = "{\"kind\":\"run_start\"}\n";
constexpr std::string_view kRecord =
    "{\"kind\":\"track\",\"note\":\"a \\\"quoted\\\" note\",\"value\":42}\n";
constexpr std::string_view kNext = "{\"kind\":\"track\",\"value\":[1,2]}\n";

// Lets every call through and counts them by kind; optionally cuts the first write of the line.
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
  std::optional<size_t> cut_at;  // the first write accepts this many bytes, the second fails
};

class TornLine : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "trovik-torn-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    file_ = (directory_ / "run.jsonl").string();
    std::ofstream(file_, std::ios::binary) << kFirstLine;
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string contents() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // An append of kRecord whose first write takes `cut` bytes and whose next write fails.
  Status torn_append(size_t cut) {
    CountingFaults faults;
    faults.cut_at = cut;
    InstalledInjector installed(&faults);
    return json::append_line(file_, kRecord);
  }
  std::map<SystemCall, int> counted_append(std::string_view line) {
    CountingFaults faults;
    {
      InstalledInjector installed(&faults);
      EXPECT_TRUE(json::append_line(file_, line).ok());
    }
    return faults.calls;
  }

  fs::path directory_;
  std::string file_;
};

// Cut at every offset inside the record's text: the failure is reported as before, the next append
// starts a new line, every complete record reads, and exactly the torn one does not.
TEST_F(TornLine, EveryCutLeavesOneTornLineAndWholeRecordsAfterIt) {
  for (size_t cut = 1; cut < kRecord.size(); ++cut) {
    SCOPED_TRACE("cut after " + std::to_string(cut) + " bytes");
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << kFirstLine;
    const Status failed = torn_append(cut);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.kind(),
              cut + 1 < kRecord.size() ? ErrorKind::kValueError : ErrorKind::kOSError);
    ASSERT_TRUE(json::append_line(file_, kNext).ok());
    ASSERT_TRUE(json::append_line(file_, kNext).ok());

    const std::string text = contents();
    ASSERT_EQ(text.back(), '\n');
    std::vector<std::string> lines;
    for (size_t begin = 0, end; begin < text.size(); begin = end + 1) {
      end = text.find('\n', begin);
      lines.push_back(text.substr(begin, end - begin));
    }
    size_t unreadable = 0;
    for (const std::string& line : lines) unreadable += json::read_json(line).ok() ? 0 : 1;
    // All but the line feed written: the record is whole and only needed its line to end.
    const bool torn = cut + 1 < kRecord.size();
    EXPECT_EQ(unreadable, torn ? 1u : 0u) << text;
    EXPECT_EQ(lines.size(), 4u) << text;
    EXPECT_EQ(lines[1], kRecord.substr(0, cut));
    EXPECT_EQ(lines[2] + "\n", kNext);
    EXPECT_EQ(lines[3] + "\n", kNext);
  }
}

TEST_F(TornLine, OrdinaryAppendsMakeNoExtraCalls) {
  const std::map<SystemCall, int> plain = counted_append(kNext);
  EXPECT_EQ(plain, (std::map<SystemCall, int>{
                       {SystemCall::kOpen, 1}, {SystemCall::kWrite, 1}, {SystemCall::kClose, 1}}));

  ASSERT_FALSE(torn_append(5).ok());
  // Only the append right after the tear looks at the file's end.
  const std::map<SystemCall, int> checked = counted_append(kNext);
  EXPECT_EQ(checked.at(SystemCall::kOpen), 2);
  EXPECT_EQ(checked.at(SystemCall::kStat), 1);
  EXPECT_EQ(checked.at(SystemCall::kRead), 1);
  EXPECT_EQ(checked.at(SystemCall::kWrite), 1) << "the line feed goes in the record's one write";
  EXPECT_EQ(counted_append(kNext), plain);
  EXPECT_EQ(contents(), std::string(kFirstLine) + std::string(kNext) +
                            std::string(kRecord.substr(0, 5)) + "\n" + std::string(kNext) +
                            std::string(kNext));
}

// Whoever appends first after the tear ends the line; the other, finding a line feed, adds none.
// The child of a fork inherits what the parent knows about the file.
TEST_F(TornLine, ForkedChildAndParentEndTheLineOnce) {
  ASSERT_FALSE(torn_append(7).ok());
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(json::append_line(file_, kNext).ok() ? 0 : 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(json::append_line(file_, kNext).ok());
  EXPECT_EQ(contents(), std::string(kFirstLine) + std::string(kRecord.substr(0, 7)) + "\n" +
                            std::string(kNext) + std::string(kNext));
}

// When the end of the file cannot be read, a blank line is the lesser harm than a glued record.
TEST_F(TornLine, UnreadableEndStillStartsAFreshLine) {
  ASSERT_FALSE(torn_append(3).ok());
  {
    class FailStat : public FaultInjector {
      std::optional<int> should_fail(SystemCall call) override {
        if (call == SystemCall::kStat) return EIO;
        return std::nullopt;
      }
    } fail_stat;
    InstalledInjector installed(&fail_stat);
    ASSERT_TRUE(json::append_line(file_, kNext).ok());
  }
  EXPECT_EQ(contents(), std::string(kFirstLine) + std::string(kRecord.substr(0, 3)) + "\n" +
                            std::string(kNext));
}

}  // namespace
}  // namespace trovik::fault
