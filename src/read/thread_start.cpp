#include "read/thread_start.h"

#include <system_error>
#include <utility>

#include "util/system_calls.h"

namespace trovik::read {

bool start_thread(std::vector<std::jthread>& threads, std::function<void()> work) {
  if (injected_failure(SystemCall::kThread)) return false;
  try {
    threads.emplace_back(std::move(work));
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

}  // namespace trovik::read
