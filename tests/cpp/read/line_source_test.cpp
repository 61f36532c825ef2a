#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "read/line_reader.h"
#include "read/run_roots.h"
#include "read/run_summary_builder.h"
#include "util/system_calls.h"

namespace trovik::read {
namespace {

std::vector<std::string> available(LineReader& reader) {
  std::vector<std::string> lines;
  EXPECT_TRUE(reader
                  .read_available([&](std::string_view line) {
                    lines.emplace_back(line);
                    return true;
                  })
                  .ok());
  return lines;
}

void append(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

// What `tail -f` relies on: a line is handed over once, when its line feed has arrived.
TEST(LineReader, HandsOverALineOnceItIsComplete) {
  const std::string path = ::testing::TempDir() + "/growing.jsonl";
  std::remove(path.c_str());
  append(path, "one\ntw");
  Result<LineReader> reader = LineReader::open(path);
  ASSERT_TRUE(reader.ok());
  EXPECT_EQ(available(reader.value()), std::vector<std::string>{"one"});
  EXPECT_EQ(reader.value().unfinished(), "tw");
  EXPECT_TRUE(available(reader.value()).empty());
  append(path, "o\nthree\n" + std::string(3 << 20, 'x'));
  EXPECT_EQ(available(reader.value()), (std::vector<std::string>{"two", "three"}));
  append(path, "\n");
  const std::vector<std::string> last = available(reader.value());
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].size(), size_t{3} << 20);
  EXPECT_TRUE(reader.value().unfinished().empty());

  Result<LineReader> range = LineReader::open(path, 4, 14);
  ASSERT_TRUE(range.ok());
  EXPECT_EQ(available(range.value()), (std::vector<std::string>{"two", "three"}));
  std::remove(path.c_str());
}

class FailingReads : public FaultInjector {
 public:
  std::optional<int> should_fail(SystemCall call) override {
    if (call == SystemCall::kRead) return EIO;
    return std::nullopt;
  }
};

TEST(LineReader, AFailedReadIsAnOSErrorNamingTheFile) {
  const std::string path = ::testing::TempDir() + "/unreadable.jsonl";
  append(path, "{}\n");
  FailingReads faults;
  install_fault_injector(&faults);
  Result<RunSummary> run = read_run_file(path, Detail::kSummary);
  install_fault_injector(nullptr);
  ASSERT_FALSE(run.ok());
  EXPECT_EQ(run.status().kind(), ErrorKind::kOSError);
  EXPECT_NE(run.status().message().find(path), std::string::npos);
  EXPECT_NE(run.status().message().find("(os error 5)"), std::string::npos);
  std::remove(path.c_str());
}

TEST(RunRoots, GivenRootsThenTheEnvironment) {
  const char* saved = std::getenv("TROVIK_DIR");
  const std::string previous = saved != nullptr ? saved : "";
  ::setenv("TROVIK_DIR", "/runs/from/env", 1);
  EXPECT_EQ(find_run_roots({"a", "b"}), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(find_run_roots({}), std::vector<std::string>{"/runs/from/env"});
  ::setenv("TROVIK_DIR", "", 1);
  EXPECT_EQ(find_run_roots({}), std::vector<std::string>{""});
  if (saved != nullptr) {
    ::setenv("TROVIK_DIR", previous.c_str(), 1);
  } else {
    ::unsetenv("TROVIK_DIR");
  }
}

}  // namespace
}  // namespace trovik::read
