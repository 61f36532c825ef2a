#include "read/run_batch.h"

#include <sched.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "read/run_file_reading.h"
#include "read/thread_start.h"

namespace trovik::read {

void read_run_files(const std::vector<std::string>& paths, Detail detail, unsigned threads,
                    const RunConsumer& consume) {
  std::atomic<size_t> next{0};
  std::mutex handing_over;
  auto work = [&] {
    for (size_t i = next.fetch_add(1); i < paths.size(); i = next.fetch_add(1)) {
      Result<RunSummary> run = read_run_file(paths[i], detail);
      const std::lock_guard<std::mutex> one_at_a_time(handing_over);
      consume(i, std::move(run));
    }
  };
  std::vector<std::jthread> helpers;
  for (unsigned t = 1; t < threads && t < paths.size(); ++t) {
    if (!start_thread(helpers, work)) break;
  }
  work();
}

std::vector<Result<RunSummary>> read_run_files(const std::vector<std::string>& paths, Detail detail,
                                               unsigned threads) {
  std::vector<std::optional<Result<RunSummary>>> slots(paths.size());
  read_run_files(paths, detail, threads, [&](size_t index, Result<RunSummary>&& run) {
    slots[index].emplace(std::move(run));
  });
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
