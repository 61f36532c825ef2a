#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "run/run_id.h"

namespace trovik::run {
namespace {

// A kernel (or container policy) without getrandom: the run id comes from /dev/urandom. Each case
// runs in a forked child under a seccomp filter that makes the listed system calls fail with the
// given error; the child reports through its exit status what new_run_id gave it.
struct Blocked {
  long call;
  int error;
};

struct SourceCase {
  const char* name;
  std::vector<Blocked> blocked;
  // Empty when ids are expected; otherwise the internal fault's message.
  std::string fault;
};

void PrintTo(const SourceCase& test, std::ostream* out) { *out << test.name; }

void install_filter(const std::vector<Blocked>& blocked) {
  std::vector<sock_filter> program;
  program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
  for (const Blocked& entry : blocked) {
    program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(entry.call), 0, 1));
    program.push_back(
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<uint32_t>(entry.error)));
  }
  program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
      ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) {
    ::_exit(10);
  }
}

// Exit status of the child: 0 when it got what the case expects, a distinct code per mismatch.
int run_case(const SourceCase& test) {
  install_filter(test.blocked);
  char probe = 0;
  if (::syscall(SYS_getrandom, &probe, 1, 0) != -1 || errno != ENOSYS) return 11;
  Result<std::string> first = new_run_id();
  Result<std::string> second = new_run_id();
  if (!test.fault.empty()) {
    if (first.ok()) return 12;
    return first.status().message() == test.fault ? 0 : 13;
  }
  if (!first.ok() || !second.ok()) return 14;
  if (first.value().size() != 36 || first.value()[14] != '4') return 15;
  return first.value() == second.value() ? 16 : 0;
}

class RunIdSource : public testing::TestWithParam<SourceCase> {};

TEST_P(RunIdSource, WithoutGetrandom) {
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(run_case(GetParam()));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunIdSource,
    testing::Values(SourceCase{"urandom_fallback", {{SYS_getrandom, ENOSYS}}, ""},
                    SourceCase{"urandom_unreadable",
                               {{SYS_getrandom, ENOSYS}, {SYS_openat, EACCES}, {SYS_open, EACCES}},
                               "could not retrieve random bytes for uuid: OS Error: 13"}),
    [](const testing::TestParamInfo<SourceCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trovik::run
