#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trovik::run {

// One NVIDIA GPU as its driver describes it.
struct GpuFacts {
  std::string name;
  std::string driver;
  std::optional<uint64_t> memory_mib;  // absent when the driver does not say ("[N/A]")

  friend bool operator==(const GpuFacts&, const GpuFacts&) = default;
};

// A driver that answers at all answers within this; one that hangs must not hang the run.
constexpr std::chrono::milliseconds kGpuQueryLimit{5000};

// The GPUs nvidia-smi lists, in its order; empty when there is no nvidia-smi on PATH, when it
// fails (no driver loaded) or when it gives no answer within kGpuQueryLimit.
std::vector<GpuFacts> nvidia_gpus();

// The rows of `nvidia-smi --query-gpu=name,driver_version,memory.total
// --format=csv,noheader,nounits`; a row without three fields is left out.
std::vector<GpuFacts> parse_gpu_rows(std::string_view csv);

}  // namespace trovik::run
