#pragma once

// A process probe with processes made up by the test, so that liveness rules are checked without
// /proc and kill.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "read/process_probe.h"

namespace trovik::testing_support {

class FakeProcessProbe final : public read::ProcessProbe {
 public:
  explicit FakeProcessProbe(std::string host) : host_(std::move(host)) {}

  // A process with this id, started then (nothing: its start can't be told).
  void add(int64_t pid, std::optional<int64_t> started_ns) { processes_[pid] = started_ns; }

  std::string host_name() const override { return host_; }
  bool process_exists(int64_t pid) const override { return processes_.contains(pid); }
  std::optional<int64_t> process_started_ns(int64_t pid) const override {
    auto found = processes_.find(pid);
    return found == processes_.end() ? std::nullopt : found->second;
  }

 private:
  std::string host_;
  std::map<int64_t, std::optional<int64_t>> processes_;
};

}  // namespace trovik::testing_support
