#include "read/run_batch.h"

#include <sched.h>

#include <atomic>
#include <optional>
#include <thread>

#include "read/run_summary_builder.h"

namespace trovik::read {

std::vector<Result<RunSummary>> read_run_files(const std::vector<std::string>& paths, Detail detail,
                                               unsigned threads) {
  std::vector<std::optional<Result<RunSummary>>> slots(paths.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next.fetch_add(1); i < paths.size(); i = next.fetch_add(1)) {
      slots[i].emplace(read_run_file(paths[i], detail));
    }
  };
  {
    std::vector<std::jthread> helpers;
    for (unsigned t = 1; t < threads && t < paths.size(); ++t) helpers.emplace_back(work);
    work();
  }
  std::vector<Result<RunSummary>> results;
  results.reserve(paths.size());
  for (std::optional<Result<RunSummary>>& slot : slots) results.push_back(std::move(*slot));
  return results;
}

unsigned reading_threads() {
  cpu_set_t set;
  CPU_ZERO(&set);
  int count = 1;
  if (::sched_getaffinity(0, sizeof set, &set) == 0) count = CPU_COUNT(&set);
  if (count < 1) count = 1;
  return static_cast<unsigned>(count > 8 ? 8 : count);
}

}  // namespace trovik::read
