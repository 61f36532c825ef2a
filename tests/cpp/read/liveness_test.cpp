#include <unistd.h>

#include <gtest/gtest.h>

#include "read/run_facts.h"
#include "read/timestamp.h"
#include "support/fake_process_probe.h"

namespace trovik::read {
namespace {

constexpr int64_t kSecond = 1'000'000'000;
constexpr int64_t kRunStart = 1'700'000'000 * kSecond;

struct LivenessCase {
  const char* what;
  RecordedProcess process;
  Liveness expected;
};

class RunLiveness : public testing::TestWithParam<LivenessCase> {};

TEST_P(RunLiveness, FollowsTheRecordedProcess) {
  testing_support::FakeProcessProbe probe("here");
  probe.add(100, kRunStart - 60 * kSecond);  // started before the run: its process
  probe.add(101, kRunStart + kSecond / 2);   // within the slack of /proc's clock ticks
  probe.add(102, kRunStart + 5 * kSecond);   // started after the run: a reused id
  probe.add(103, std::nullopt);              // its start can't be read
  EXPECT_EQ(liveness_of(GetParam().process, probe), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Processes, RunLiveness,
    testing::Values(LivenessCase{"running", {"here", 100, kRunStart}, Liveness::kRunning},
                    LivenessCase{"started with it", {"here", 101, kRunStart}, Liveness::kRunning},
                    LivenessCase{"reused id", {"here", 102, kRunStart}, Liveness::kGone},
                    LivenessCase{"start unknown", {"here", 103, kRunStart}, Liveness::kGone},
                    LivenessCase{"no such process", {"here", 999, kRunStart}, Liveness::kGone},
                    LivenessCase{"other host", {"there", 100, kRunStart}, Liveness::kOtherHost},
                    LivenessCase{"no pid", {"here", std::nullopt, kRunStart}, Liveness::kUnknown},
                    LivenessCase{"no host", {std::nullopt, 100, kRunStart}, Liveness::kUnknown},
                    LivenessCase{"no start", {"here", 100, std::nullopt}, Liveness::kUnknown}));

TEST(SystemProcessProbe, SeesThisProcessStartedBeforeNow) {
  const ProcessProbe& probe = system_process_probe();
  EXPECT_TRUE(probe.process_exists(::getpid()));
  EXPECT_FALSE(probe.process_exists(0));
  const std::optional<int64_t> started = probe.process_started_ns(::getpid());
  ASSERT_TRUE(started.has_value());
  EXPECT_LE(*started, now_ns());
  EXPECT_GT(*started, now_ns() - int64_t{3600} * kSecond);
  EXPECT_FALSE(probe.process_started_ns(INT32_MAX).has_value());
  const RecordedProcess self{probe.host_name(), ::getpid(), now_ns()};
  EXPECT_TRUE(is_live(self, probe));
}

}  // namespace
}  // namespace trovik::read
