#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "read/process_probe.h"
#include "serve/followed_run.h"
#include "serve/live_run.h"
#include "serve/live_source.h"

namespace trovik::serve {

// The runs under the roots, followed as they grow. A watcher thread of its own lists the roots
// every `interval`, looks at each run file (reading only what was appended since its last look)
// and folds what it found into the runs pages see, one run at a time under a lock that is held
// only for that fold: all reading of files happens on the watcher, none on the server's thread,
// which takes the lock only to write its answers from memory. Each fold takes the next cursor, so
// a page that asks for changes after its cursor gets exactly the runs, texts, notes and buckets
// stamped later.
class LiveRunSource final : public LiveSource {
 public:
  LiveRunSource(std::vector<std::string> roots, std::chrono::milliseconds interval,
                const read::ProcessProbe& probe);
  LiveRunSource(const LiveRunSource&) = delete;
  LiveRunSource& operator=(const LiveRunSource&) = delete;
  // Stops the watcher and waits for it: at most the time one run file takes to read.
  ~LiveRunSource() override;

  // Starts the watcher, which looks at every run at once and then every interval.
  Status start();

  uint64_t cursor() const override { return cursor_.load(std::memory_order_acquire); }
  Result<std::string> page(std::string_view nonce) const override;
  // Everything (without series) for `since` 0 or a cursor this source never gave; otherwise the
  // runs that changed after it, each with only what changed, series included.
  Result<std::string> changes_since(uint64_t since) const override;
  Result<std::string> run_series(std::string_view run_id) const override;

  // One pass of the watcher, for tests that drive the source without its thread.
  void look_once();

 private:
  struct Followed {
    explicit Followed(std::string path) : file(std::move(path)) {}
    FollowedRun file;
    LiveRun* live = nullptr;  // owned by runs_
    read::RunSummary last;    // as of the last update, without its points and notes
    bool read_once = false;
    bool live_process = false;  // its process was running when its texts were last made
  };
  void watch();
  bool stopping() const;
  void look_at(Followed& followed, bool texts_due);
  RunTexts texts_of(Followed& followed) const;

  const std::vector<std::string> roots_;
  const std::chrono::milliseconds interval_;
  std::vector<std::string> fixed_columns_;
  const read::ProcessProbe& probe_;
  std::atomic<uint64_t> cursor_{0};

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<LiveRun>> runs_;  // under mutex_; in the order they were found
  uint64_t next_stamp_ = 0;                     // under mutex_
  std::condition_variable wake_;
  bool stopping_ = false;  // under mutex_

  // The watcher's own: touched by no other thread.
  std::unordered_map<std::string, Followed> followed_;
  uint64_t passes_ = 0;
  std::thread watcher_;
};

}  // namespace trovik::serve
