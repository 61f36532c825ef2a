#pragma once

#include <functional>
#include <thread>
#include <vector>

namespace trovik::read {

// Starts a thread running `work` and adds it to `threads`; false when no thread can be started (a
// login node's process limit, or a failure injected for SystemCall::kThread). Then nothing ran:
// the caller does the work itself.
bool start_thread(std::vector<std::jthread>& threads, std::function<void()> work);

}  // namespace trovik::read
