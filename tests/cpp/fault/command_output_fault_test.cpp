// command_output when a pipe or the process cannot be created: absent, nothing left behind, and
// the next call works.
#include <errno.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fault_loop.h"
#include "git/command_runner.h"

namespace trovik::fault {
namespace {

struct RunnerCase {
  std::string name;
  SystemCall call;
  int error;
  size_t count;
  bool overrides;  // through the environment-override path as well as the plain one
};

void PrintTo(const RunnerCase& c, std::ostream* out) { *out << c.name; }

// A child that writes to both streams, so both pipes matter.
git::OptionalText run_child(bool overrides) {
  const std::vector<std::string> arguments = {"-c", "printf '%s' \"$FAULT_VALUE\"; echo err >&2"};
  if (overrides) return git::command_output("sh", arguments, {{"FAULT_VALUE", "answer"}});
  return git::command_output("sh", {"-c", "printf answer; echo err >&2"});
}

class RunnerFaults : public testing::TestWithParam<RunnerCase> {};

TEST_P(RunnerFaults, AbsentAndNothingLeaked) {
  const RunnerCase& c = GetParam();
  FaultPlan plan;
  plan.call = c.call;
  plan.fault.error = c.error;
  plan.count = c.count;
  int descriptors = 0;
  const size_t injected = run_fault_loop(
      plan,
      [&] {
        descriptors = open_descriptor_count();
        return run_child(c.overrides);
      },
      [&](const Injection& injection, const git::OptionalText& output) {
        if (injection.reached) {
          EXPECT_FALSE(output.has_value()) << *output;
        } else {
          EXPECT_EQ(output, "answer");
        }
        EXPECT_EQ(open_descriptor_count(), descriptors) << "a descriptor was left open";
        EXPECT_FALSE(has_unreaped_child());
        EXPECT_EQ(run_child(c.overrides), "answer") << "the call after the fault";
      });
  RecordProperty("injected_faults", static_cast<int>(injected));
  // Standard output and standard error each need a pipe; one process per call.
  EXPECT_EQ(injected, c.call == SystemCall::kPipe ? 2u : 1u);
}

std::vector<RunnerCase> runner_cases() {
  std::vector<RunnerCase> cases;
  for (const auto& [repeat, count] :
       {std::pair<std::string, size_t>{"Once", kOnce}, {"Persistent", kPersistent}}) {
    for (bool overrides : {false, true}) {
      const std::string path = overrides ? "WithOverrides" : "Plain";
      for (int error : {EMFILE, ENFILE}) {
        cases.push_back({"Pipe" + errno_name(error) + path + repeat, SystemCall::kPipe, error,
                         count, overrides});
      }
      for (int error : {EAGAIN, ENOMEM, ENOENT, EACCES}) {
        cases.push_back({"Spawn" + errno_name(error) + path + repeat, SystemCall::kSpawn, error,
                         count, overrides});
      }
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, RunnerFaults, testing::ValuesIn(runner_cases()),
                         [](const testing::TestParamInfo<RunnerCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace trovik::fault
