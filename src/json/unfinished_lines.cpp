#include "json/unfinished_lines.h"

#include <pthread.h>

#include <algorithm>

namespace trovik::json {
namespace {

UnfinishedLines* process_list = nullptr;
std::once_flag created;

}  // namespace

UnfinishedLines& UnfinishedLines::process() {
  // Never destroyed: an append may run while the process exits.
  std::call_once(created, [] {
    process_list = new UnfinishedLines();
    // A fork while another thread holds the lock would leave the child's copy locked for good;
    // holding it across the fork hands the child a consistent, unlocked list.
    pthread_atfork([] { process_list->mutex_.lock(); }, [] { process_list->mutex_.unlock(); },
                   [] { process_list->mutex_.unlock(); });
  });
  return *process_list;
}

bool UnfinishedLines::find(std::string_view path) {
  std::lock_guard lock(mutex_);
  return std::find(paths_.begin(), paths_.end(), path) != paths_.end();
}

void UnfinishedLines::add(std::string_view path) {
  std::lock_guard lock(mutex_);
  if (std::find(paths_.begin(), paths_.end(), path) != paths_.end()) return;
  paths_.emplace_back(path);
  count_.store(paths_.size(), std::memory_order_relaxed);
}

void UnfinishedLines::remove(std::string_view path) {
  std::lock_guard lock(mutex_);
  auto it = std::find(paths_.begin(), paths_.end(), path);
  if (it == paths_.end()) return;
  paths_.erase(it);
  count_.store(paths_.size(), std::memory_order_relaxed);
}

}  // namespace trovik::json
