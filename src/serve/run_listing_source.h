#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serve/live_source.h"
#include "serve/run_listing.h"

namespace trovik::serve {

// The runs under the roots, listed again every `interval` by a watcher thread of its own: which
// runs exist, and a plain page of them. Series are not read yet; run_series() knows only the runs.
class RunListingSource final : public LiveSource {
 public:
  RunListingSource(std::vector<std::string> roots, std::chrono::milliseconds interval);
  RunListingSource(const RunListingSource&) = delete;
  RunListingSource& operator=(const RunListingSource&) = delete;
  // Stops the watcher and waits for it: at most one listing's time.
  ~RunListingSource() override;

  // Lists the runs once, then starts the watcher.
  Status start();

  uint64_t cursor() const override { return cursor_.load(std::memory_order_acquire); }
  Result<std::string> page(std::string_view nonce) const override;
  Result<std::string> changes_since(uint64_t since) const override;
  Result<std::string> run_series(std::string_view run_id) const override;

 private:
  void refresh();
  void watch();
  std::shared_ptr<const RunListing> current() const;

  const std::vector<std::string> roots_;
  const std::chrono::milliseconds interval_;
  std::atomic<uint64_t> cursor_{0};
  mutable std::mutex mutex_;
  std::shared_ptr<const RunListing> listing_;  // replaced whole under mutex_, read by copy
  std::condition_variable wake_;
  bool stopping_ = false;  // under mutex_
  std::thread watcher_;
};

}  // namespace trovik::serve
