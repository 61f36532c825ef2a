// Fault loops: for k = 1, 2, ... the k-th call of one kind fails (once, or from then on), the
// operation runs, its outcome is checked, and the loop ends with the first run that never reaches
// the k-th call, which is checked as the undisturbed case.
#pragma once

#include <errno.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "util/system_calls.h"

namespace trovik::fault {

// How many calls fail, counted from the k-th on.
inline constexpr size_t kOnce = 1;
inline constexpr size_t kPersistent = std::numeric_limits<size_t>::max();

// An operation that keeps calling past this many calls of the faulted kind is looping on the
// failure; the injector then stops failing so the test ends and reports it.
inline constexpr size_t kRunawayCalls = 100000;

// What happens to each call the plan hits.
struct Fault {
  int error = 0;                         // fail with this error number; 0: do not fail
  std::optional<size_t> accepted_bytes;  // writes only: accept at most this many (0: none)
};

struct FaultPlan {
  SystemCall call = SystemCall::kOpen;
  Fault fault;
  size_t count = kOnce;  // calls hit from the k-th on
  // Writes only: every write the plan does not hit accepts at most this many bytes.
  std::optional<size_t> write_chunk;
  // Runs just before a hit call fails, as something else on the machine would act at that moment.
  std::function<void()> before_failure;
};

inline const char* call_name(SystemCall call) {
  switch (call) {
    case SystemCall::kOpen:
      return "open";
    case SystemCall::kWrite:
      return "write";
    case SystemCall::kClose:
      return "close";
    case SystemCall::kPipe:
      return "pipe";
    case SystemCall::kSpawn:
      return "spawn";
    case SystemCall::kMkdir:
      return "mkdir";
    case SystemCall::kRead:
      return "read";
    case SystemCall::kStat:
      return "stat";
    case SystemCall::kFsync:
      return "fsync";
    case SystemCall::kRename:
      return "rename";
    case SystemCall::kFutimens:
      return "futimens";
    case SystemCall::kSocket:
      return "socket";
    case SystemCall::kBind:
      return "bind";
    case SystemCall::kListen:
      return "listen";
    case SystemCall::kAccept:
      return "accept";
    case SystemCall::kThread:
      return "thread";
  }
  return "?";
}

// Hits the calls of one kind numbered first .. first + count - 1 (from 1), as the plan says.
class ScriptedFaults : public FaultInjector {
 public:
  ScriptedFaults(FaultPlan plan, size_t first) : plan_(std::move(plan)), first_(first) {}

  std::optional<int> should_fail(SystemCall call) override {
    if (call != plan_.call) return std::nullopt;
    ++calls_;
    current_hit_ = false;
    if (calls_ >= kRunawayCalls) {
      runaway_ = true;
      return std::nullopt;
    }
    if (calls_ < first_ || calls_ - first_ >= plan_.count) return std::nullopt;
    current_hit_ = true;
    ++hits_;
    if (plan_.before_failure) plan_.before_failure();
    if (plan_.fault.error == 0) return std::nullopt;
    return plan_.fault.error;
  }

  std::optional<size_t> short_write(size_t size) override {
    if (plan_.call != SystemCall::kWrite) return std::nullopt;
    if (current_hit_ && plan_.fault.accepted_bytes) return *plan_.fault.accepted_bytes;
    if (plan_.write_chunk) return std::min(size, *plan_.write_chunk);
    return std::nullopt;
  }

  // Calls of the planned kind seen, hit or not.
  size_t calls() const { return calls_; }
  size_t hits() const { return hits_; }
  bool runaway() const { return runaway_; }

 private:
  FaultPlan plan_;
  size_t first_;
  size_t calls_ = 0;
  size_t hits_ = 0;
  bool current_hit_ = false;
  bool runaway_ = false;
};

// Installs an injector for one scope.
class InstalledInjector {
 public:
  explicit InstalledInjector(FaultInjector* injector)
      : previous_(install_fault_injector(injector)) {}
  ~InstalledInjector() { install_fault_injector(previous_); }
  InstalledInjector(const InstalledInjector&) = delete;
  InstalledInjector& operator=(const InstalledInjector&) = delete;

 private:
  FaultInjector* previous_;
};

// Where the fault of one run landed.
struct Injection {
  size_t k;      // the first call hit
  size_t count;  // how many calls from the k-th on were to be hit
  bool reached;  // whether the operation made a k-th call at all
  size_t calls;  // calls of the faulted kind the operation made

  // Whether the call at `position` was (or would have been) hit.
  bool hits(size_t position) const { return reached && position >= k && position - k < count; }
};

// Runs the loop and returns how many runs had a fault injected. `operation()` runs with the
// injector installed and returns its outcome; `check(injection, outcome)` runs after it is removed,
// so the check's own work (reading files, running git) is never faulted.
template <typename Operation, typename Check>
size_t run_fault_loop(const FaultPlan& plan, Operation operation, Check check) {
  // Far above the calls any operation here makes; a loop that gets there never ends by itself.
  constexpr size_t kLastPosition = 10000;
  size_t injected = 0;
  for (size_t k = 1; k <= kLastPosition; ++k) {
    ScriptedFaults faults(plan, k);
    auto outcome = [&] {
      InstalledInjector installed(&faults);
      return operation();
    }();
    const Injection injection{k, plan.count, faults.calls() >= k, faults.calls()};
    SCOPED_TRACE(std::string("fault at ") + call_name(plan.call) + " #" + std::to_string(k) +
                 (plan.count == kOnce ? " once" : " onwards") +
                 (injection.reached ? "" : " (not reached)"));
    EXPECT_FALSE(faults.runaway()) << "the operation kept calling after the failure";
    check(injection, outcome);
    if (testing::Test::HasFatalFailure() || faults.runaway()) return injected;
    if (!injection.reached) return injected;
    ++injected;
  }
  ADD_FAILURE() << "the operation still reached call #" << kLastPosition;
  return injected;
}

inline int open_descriptor_count() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// True when some child of this process has not been waited for (still running or a zombie). The
// question reaps nothing.
inline bool has_unreaped_child() {
  siginfo_t info{};
  return !(::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD);
}

inline std::string errno_name(int error) {
  if (error == 0) return "none";
  const char* name = ::strerrorname_np(error);
  return name != nullptr ? name : std::to_string(error);
}

}  // namespace trovik::fault
