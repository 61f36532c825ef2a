#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace trovik::json {

// The files that this process left ending inside a line: an append failed after part of its line
// had reached the file (a full disk, a file size limit). The next append to such a file looks at
// its last byte and starts on a fresh line, so that a good record is never glued onto a torn one.
//
// Appends to files not listed pay one relaxed load: nothing is looked up while the list is empty.
// Safe from any thread; a child made by fork inherits the list, which is right, as it inherits the
// files too.
class UnfinishedLines {
 public:
  static UnfinishedLines& process();

  bool contains(std::string_view path) {
    if (count_.load(std::memory_order_relaxed) == 0) [[likely]] {
      return false;
    }
    return find(path);
  }
  void add(std::string_view path);
  void remove(std::string_view path);

 private:
  UnfinishedLines() = default;
  bool find(std::string_view path);

  std::mutex mutex_;
  std::vector<std::string> paths_;  // a handful at most: one per run file a failure touched
  std::atomic<size_t> count_{0};
};

}  // namespace trovik::json
