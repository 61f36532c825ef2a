#include "run/gpu_query.h"

#include <charconv>

#include "git/command_runner.h"

namespace trovik::run {
namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::optional<uint64_t> whole_number(std::string_view text) {
  uint64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

}  // namespace

std::vector<GpuFacts> parse_gpu_rows(std::string_view csv) {
  std::vector<GpuFacts> gpus;
  while (!csv.empty()) {
    const size_t end = csv.find('\n');
    const std::string_view row = csv.substr(0, end);
    csv.remove_prefix(end == std::string_view::npos ? csv.size() : end + 1);
    // Fields from the right: a product name could hold a comma, the other two cannot.
    const size_t last = row.rfind(',');
    if (last == std::string_view::npos || last == 0) continue;
    const size_t middle = row.rfind(',', last - 1);
    if (middle == std::string_view::npos) continue;
    GpuFacts gpu;
    gpu.name = std::string(trimmed(row.substr(0, middle)));
    gpu.driver = std::string(trimmed(row.substr(middle + 1, last - middle - 1)));
    gpu.memory_mib = whole_number(trimmed(row.substr(last + 1)));
    gpus.push_back(std::move(gpu));
  }
  return gpus;
}

std::vector<GpuFacts> nvidia_gpus() {
  const git::OptionalText table = git::command_output_within(
      "nvidia-smi",
      {"--query-gpu=name,driver_version,memory.total", "--format=csv,noheader,nounits"},
      kGpuQueryLimit);
  if (!table) return {};
  return parse_gpu_rows(*table);
}

}  // namespace trovik::run
