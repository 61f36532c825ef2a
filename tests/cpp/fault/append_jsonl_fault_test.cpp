// append_jsonl under failing open, write and close: every fault position, once and from then on.
#include <errno.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "fault_loop.h"
#include "json/append_jsonl.h"
#include "json/writer.h"
#include "util/os_error.h"

namespace trovik::fault {
namespace {

namespace fs = std::filesystem;
using json::Object;
using json::Value;

// Two complete records that every run starts from and that no fault may disturb.
constexpr char kEarlierLines[] = "{\"kind\":\"run_start\"}\n{\"kind\":\"track\",\"value\":1}\n";

Value record() {
  Object object;
  object.insert("kind", Value::string("track"));
  object.insert("note", Value::string("tab\tquote\""));
  object.insert("value", Value::number(uint64_t{42}));
  return Value::object(std::move(object));
}

Value follow_up_record() {
  Object object;
  object.insert("kind", Value::string("next"));
  return Value::object(std::move(object));
}

const std::string& line() {
  static const std::string text = json::to_json_text(record()) + "\n";
  return text;
}

// Stand-ins for sizes that depend on the line.
constexpr size_t kWholeLine = static_cast<size_t>(-1);
constexpr size_t kAllButLineFeed = static_cast<size_t>(-2);

size_t resolve(size_t size) {
  if (size == kWholeLine) return line().size();
  if (size == kAllButLineFeed) return line().size() - 1;
  return size;
}

struct AppendCase {
  std::string name;
  SystemCall call;
  int error;                          // 0 with a write: the hit write accepts nothing
  size_t count;                       // kOnce, kPersistent or a burst length
  std::optional<size_t> write_chunk;  // writes not hit accept at most this many bytes
};

void PrintTo(const AppendCase& c, std::ostream* out) { *out << c.name; }

struct Expected {
  Status status;
  size_t written;  // bytes of the line that reached the file
};

// The outcome the caller must see, from where the fault landed. Earlier writes accepted one chunk
// each, so the cut lies at (k - 1) chunks; the error class depends on whether anything beyond the
// line feed was left.
Expected expected_outcome(const AppendCase& c, const Injection& injection) {
  const size_t size = line().size();
  if (!injection.reached || c.error == EINTR || c.call == SystemCall::kClose) {
    return {Status::Ok(), size};
  }
  if (c.call == SystemCall::kOpen) return {os_error(c.error), 0};
  const size_t chunk = resolve(c.write_chunk.value_or(kWholeLine));
  const size_t written = (injection.k - 1) * chunk;
  const ErrorKind kind = written + 1 < size ? ErrorKind::kValueError : ErrorKind::kOSError;
  if (c.error == 0) {
    return {kind == ErrorKind::kValueError ? Status::ValueError("failed to write whole buffer")
                                           : Status::OSError("failed to write whole buffer"),
            written};
  }
  return {os_error(c.error, kind), written};
}

class AppendFaults : public testing::TestWithParam<AppendCase> {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "trovik-append-fault-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    file_ = (directory_ / "run.jsonl").string();
  }
  void TearDown() override { fs::remove_all(directory_); }

  std::string contents() const {
    std::ifstream in(file_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path directory_;
  std::string file_;
};

TEST_P(AppendFaults, ReportsExactlyAndKeepsTheFileAppendable) {
  const AppendCase& c = GetParam();
  FaultPlan plan;
  plan.call = c.call;
  plan.fault = c.error == 0 ? Fault{0, size_t{0}} : Fault{c.error, std::nullopt};
  plan.count = c.count;
  if (c.write_chunk) plan.write_chunk = resolve(*c.write_chunk);

  int descriptors = 0;
  const size_t injected = run_fault_loop(
      plan,
      [&] {
        std::ofstream(file_, std::ios::binary | std::ios::trunc) << kEarlierLines;
        descriptors = open_descriptor_count();
        return json::append_jsonl(file_, record());
      },
      [&](const Injection& injection, const Status& status) {
        const Expected expected = expected_outcome(c, injection);
        if (expected.status.ok()) {
          EXPECT_TRUE(status.ok()) << status.ToString();
        } else {
          ASSERT_FALSE(status.ok());
          EXPECT_EQ(status.ToString(), expected.status.ToString());
        }
        EXPECT_EQ(open_descriptor_count(), descriptors) << "a descriptor was left open";
        const std::string kept = kEarlierLines + line().substr(0, expected.written);
        EXPECT_EQ(contents(), kept);
        // The next record starts a line of its own, also after a cut one.
        ASSERT_TRUE(json::append_jsonl(file_, follow_up_record()).ok());
        const bool cut = expected.written > 0 && expected.written < line().size();
        EXPECT_EQ(contents(),
                  kept + (cut ? "\n" : "") + json::to_json_text(follow_up_record()) + "\n");
      });
  RecordProperty("injected_faults", static_cast<int>(injected));
  EXPECT_GE(injected, 1u) << "no run reached the faulted call";
}

std::vector<AppendCase> append_cases() {
  std::vector<AppendCase> cases;
  for (const auto& [repeat, count] :
       {std::pair<std::string, size_t>{"Once", kOnce}, {"Persistent", kPersistent}}) {
    for (int error : {EACCES, ENOSPC, EMFILE, EIO, EROFS}) {
      cases.push_back({"Open" + errno_name(error) + repeat, SystemCall::kOpen, error, count, {}});
    }
    for (int error : {ENOSPC, EIO, EFBIG, 0}) {
      const std::string base = "Write" + (error == 0 ? "AcceptsNothing" : errno_name(error));
      for (const auto& [cut, chunk] :
           {std::pair<std::string, std::optional<size_t>>{"WholeLine", std::nullopt},
            {"OneByteAtATime", 1},
            {"FiveBytesAtATime", 5},
            {"AllButLineFeedFirst", kAllButLineFeed}}) {
        cases.push_back({base + cut + repeat, SystemCall::kWrite, error, count, chunk});
      }
    }
    for (int error : {EIO, EINTR, ENOSPC, EBADF}) {
      cases.push_back({"Close" + errno_name(error) + repeat, SystemCall::kClose, error, count, {}});
    }
  }
  // An interruption is retried however often it comes; "from then on" is a long burst here, as an
  // endless one would rightly never finish.
  for (const auto& [repeat, count] :
       {std::pair<std::string, size_t>{"Once", kOnce}, {"Burst", 64}}) {
    cases.push_back({"OpenEINTR" + repeat, SystemCall::kOpen, EINTR, count, {}});
    cases.push_back({"WriteEINTR" + repeat, SystemCall::kWrite, EINTR, count, {}});
    cases.push_back({"WriteEINTROneByteAtATime" + repeat, SystemCall::kWrite, EINTR, count, 1});
    cases.push_back({"WriteEINTRAllButLineFeedFirst" + repeat, SystemCall::kWrite, EINTR, count,
                     kAllButLineFeed});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, AppendFaults, testing::ValuesIn(append_cases()),
                         [](const testing::TestParamInfo<AppendCase>& info) {
                           return info.param.name;
                         });

// A write that takes only part of what it was offered is continued until the whole line is there,
// wherever in the line it stops, whether only that write is short or every write from it on.
TEST(ShortWrites, EveryCutIsContinuedToTheWholeLine) {
  std::string pattern = testing::TempDir() + "trovik-short-write-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path directory = pattern;
  const std::string file = (directory / "run.jsonl").string();
  size_t injected = 0;
  for (size_t accepted = 1; accepted < line().size(); ++accepted) {
    for (size_t count : {kOnce, kPersistent}) {
      SCOPED_TRACE("writes accept " + std::to_string(accepted) + " bytes");
      FaultPlan plan;
      plan.call = SystemCall::kWrite;
      plan.fault.accepted_bytes = accepted;
      plan.count = count;
      injected += run_fault_loop(
          plan,
          [&] {
            std::ofstream(file, std::ios::binary | std::ios::trunc) << kEarlierLines;
            return json::append_jsonl(file, record());
          },
          [&](const Injection&, const Status& status) {
            EXPECT_TRUE(status.ok()) << status.ToString();
            std::ifstream in(file, std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kEarlierLines + line());
          });
    }
  }
  fs::remove_all(directory);
  RecordProperty("injected_faults", static_cast<int>(injected));
  // Only the first write can be cut: an uncut first write takes the whole line and ends the loop.
  EXPECT_EQ(injected, 2 * (line().size() - 1));
}

}  // namespace
}  // namespace trovik::fault
