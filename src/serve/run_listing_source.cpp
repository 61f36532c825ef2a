#include "serve/run_listing_source.h"

#include <system_error>

#include "json/writer.h"

namespace trovik::serve {

RunListingSource::RunListingSource(std::vector<std::string> roots,
                                   std::chrono::milliseconds interval)
    : roots_(std::move(roots)), interval_(interval), listing_(std::make_shared<RunListing>()) {}

RunListingSource::~RunListingSource() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (watcher_.joinable()) watcher_.join();
}

Status RunListingSource::start() {
  refresh();
  try {
    watcher_ = std::thread([this] { watch(); });
  } catch (const std::system_error& error) {
    return Status::OSError(std::string("cannot start the run watcher: ") + error.what());
  }
  return Status::Ok();
}

void RunListingSource::watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, interval_, [this] { return stopping_; })) {
    lock.unlock();
    refresh();
    lock.lock();
  }
}

void RunListingSource::refresh() {
  // Listing reads every run's first line: done outside the lock, so answers never wait for it.
  std::vector<read::RunFileEntry> runs = read::list_run_files(roots_);
  std::shared_ptr<const RunListing> last = current();
  if (last->cursor != 0 && same_runs(last->runs, runs)) return;
  auto next = std::make_shared<RunListing>();
  next->cursor = last->cursor + 1;
  next->runs = std::move(runs);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    listing_ = next;
  }
  cursor_.store(next->cursor, std::memory_order_release);
}

std::shared_ptr<const RunListing> RunListingSource::current() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return listing_;
}

Result<std::string> RunListingSource::page(std::string_view nonce) const {
  return render_listing_page(*current(), nonce);
}

Result<std::string> RunListingSource::changes_since(uint64_t since) const {
  return render_listing_changes(*current(), since);
}

Result<std::string> RunListingSource::run_series(std::string_view run_id) const {
  std::shared_ptr<const RunListing> listing = current();
  for (const read::RunFileEntry& run : listing->runs) {
    if (run.run_id != run_id) continue;
    std::string out = "{\"run_id\":";
    json::write_string(run.run_id, out);
    out += ",\"series\":{}}";
    return out;
  }
  return Status::NotFound("no run has this id");
}

}  // namespace trovik::serve
