// The seam itself: each wrapper asks about its own call only, fails the way the real call reports
// failure, and otherwise does the real work.
#include "util/system_calls.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fault_loop.h"

namespace trovik::fault {
namespace {

namespace fs = std::filesystem;

// Fails every call of one kind and records every call it is asked about.
class FailKind : public FaultInjector {
 public:
  FailKind(SystemCall call, int error) : call_(call), error_(error) {}
  std::optional<int> should_fail(SystemCall call) override {
    seen_.push_back(call);
    if (call == call_) return error_;
    return std::nullopt;
  }
  const std::vector<SystemCall>& seen() const { return seen_; }

 private:
  SystemCall call_;
  int error_;
  std::vector<SystemCall> seen_;
};

// What one wrapper reported: its result and the error number it left (or returned, for spawn).
struct Report {
  long result;
  int error;
};

struct WrapperCase {
  const char* name;
  SystemCall call;
  // Calls the wrapper once, on files in `directory`.
  std::function<Report(const std::string& directory)> invoke;
};

Report errno_report(long result) { return {result, result < 0 ? errno : 0}; }

std::vector<WrapperCase> wrapper_cases() {
  return {
      {"Open", SystemCall::kOpen,
       [](const std::string& directory) {
         const int fd = sys_open((directory + "/f").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
         const Report report = errno_report(fd);
         if (fd >= 0) ::close(fd);
         return report;
       }},
      {"Write", SystemCall::kWrite,
       [](const std::string& directory) {
         const int fd = ::open((directory + "/f").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
         const Report report = errno_report(sys_write(fd, "abc", 3));
         ::close(fd);
         EXPECT_EQ(fs::file_size(directory + "/f"), report.result < 0 ? 0u : 3u);
         return report;
       }},
      {"Close", SystemCall::kClose,
       [](const std::string&) {
         const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
         const Report report = errno_report(sys_close(fd));
         // Whatever close reported, the descriptor must be gone.
         EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
         return report;
       }},
      {"Pipe", SystemCall::kPipe,
       [](const std::string&) {
         int ends[2] = {-1, -1};
         const Report report = errno_report(sys_pipe2(ends, O_CLOEXEC));
         if (report.result == 0) {
           ::close(ends[0]);
           ::close(ends[1]);
         }
         return report;
       }},
      {"Spawn", SystemCall::kSpawn,
       [](const std::string&) {
         char program[] = "true";
         char* argv[] = {program, nullptr};
         pid_t pid = -1;
         errno = 0;
         const int error = sys_posix_spawnp(&pid, "true", nullptr, nullptr, argv, environ);
         if (error != 0) {
           // An injected failure comes back as the result, as posix_spawnp reports it.
           EXPECT_EQ(errno, 0);
         } else {
           int status = 0;
           EXPECT_EQ(::waitpid(pid, &status, 0), pid);
           EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
         }
         return Report{error == 0 ? 0 : -1, error};
       }},
      {"Mkdir", SystemCall::kMkdir,
       [](const std::string& directory) {
         return errno_report(sys_mkdir((directory + "/d").c_str(), 0700));
       }},
      {"Pread", SystemCall::kRead,
       [](const std::string&) {
         const int fd = ::open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
         char byte = 0;
         const Report report = errno_report(static_cast<int>(sys_pread(fd, &byte, 1, 0)));
         ::close(fd);
         return report;
       }},
      {"Fstat", SystemCall::kStat,
       [](const std::string&) {
         const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
         struct stat info {};
         const Report report = errno_report(sys_fstat(fd, &info));
         ::close(fd);
         return report;
       }},
  };
}

void PrintTo(const WrapperCase& c, std::ostream* out) { *out << c.name; }

class Wrapper : public testing::TestWithParam<WrapperCase> {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "trovik-seam-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
  }
  void TearDown() override { fs::remove_all(directory_); }
  std::string directory_;
};

TEST_P(Wrapper, FailsWithTheInjectedErrorAndNothingElse) {
  FailKind injector(GetParam().call, EDQUOT);
  Report report;
  {
    InstalledInjector installed(&injector);
    report = GetParam().invoke(directory_);
  }
  EXPECT_EQ(report.result, -1);
  EXPECT_EQ(report.error, EDQUOT);
  EXPECT_EQ(injector.seen(), std::vector<SystemCall>{GetParam().call});
  if (GetParam().call == SystemCall::kOpen || GetParam().call == SystemCall::kMkdir) {
    EXPECT_TRUE(fs::is_empty(directory_)) << "a failed call must not reach the kernel";
  }
}

TEST_P(Wrapper, DoesTheRealWorkWhenAnotherCallIsFaulted) {
  const SystemCall other =
      GetParam().call == SystemCall::kMkdir ? SystemCall::kOpen : SystemCall::kMkdir;
  FailKind injector(other, EIO);
  Report report;
  {
    InstalledInjector installed(&injector);
    report = GetParam().invoke(directory_);
  }
  EXPECT_GE(report.result, 0) << strerror(report.error);
  EXPECT_EQ(injector.seen(), std::vector<SystemCall>{GetParam().call});
}

TEST_P(Wrapper, DoesTheRealWorkWithoutAnInjector) {
  const Report report = GetParam().invoke(directory_);
  EXPECT_GE(report.result, 0) << strerror(report.error);
}

INSTANTIATE_TEST_SUITE_P(Calls, Wrapper, testing::ValuesIn(wrapper_cases()),
                         [](const testing::TestParamInfo<WrapperCase>& info) {
                           return std::string(info.param.name);
                         });

// Writes into a pipe under an injector that cuts writes to `accepted` bytes.
struct ShortWriteCase {
  size_t offered;
  std::optional<size_t> accepted;
  ssize_t result;
};

void PrintTo(const ShortWriteCase& c, std::ostream* out) {
  *out << c.offered << " offered, "
       << (c.accepted ? std::to_string(*c.accepted) : std::string("all")) << " accepted";
}

class ShortWrite : public testing::TestWithParam<ShortWriteCase> {};

TEST_P(ShortWrite, KernelSeesOnlyTheAcceptedBytes) {
  FaultPlan plan;
  plan.call = SystemCall::kWrite;
  plan.fault.accepted_bytes = GetParam().accepted;
  ScriptedFaults faults(plan, 1);
  int ends[2];
  ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
  const std::string text = "0123456789";
  ssize_t result;
  {
    InstalledInjector installed(&faults);
    result = sys_write(ends[1], text.data(), GetParam().offered);
  }
  char buffer[64];
  const ssize_t got = ::read(ends[0], buffer, sizeof buffer);
  ::close(ends[0]);
  ::close(ends[1]);
  EXPECT_EQ(result, GetParam().result);
  EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0),
            text.substr(0, static_cast<size_t>(GetParam().result)));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ShortWrite,
    testing::Values(ShortWriteCase{10, size_t{3}, 3}, ShortWriteCase{10, size_t{1}, 1},
                    ShortWriteCase{10, size_t{9}, 9}, ShortWriteCase{10, size_t{0}, 0},
                    // Asking for more than offered changes nothing.
                    ShortWriteCase{4, size_t{8}, 4}, ShortWriteCase{10, std::nullopt, 10}));

TEST(Install, ReturnsTheReplacedInjectorAndNullRemovesIt) {
  FailKind first(SystemCall::kMkdir, EIO);
  FailKind second(SystemCall::kMkdir, EIO);
  EXPECT_EQ(install_fault_injector(&first), nullptr);
  EXPECT_EQ(install_fault_injector(&second), &first);
  EXPECT_EQ(install_fault_injector(nullptr), &second);
  EXPECT_EQ(sys_mkdir("/proc/self/none", 0700), -1);
  EXPECT_NE(errno, EIO) << "a removed injector must not be asked";
  EXPECT_TRUE(second.seen().empty());
}

}  // namespace
}  // namespace trovik::fault
