#include "read/run_follower.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>

#include "read/byte_hash.h"
#include "read/line_reader.h"
#include "util/os_error.h"
#include "util/scoped_fd.h"
#include "util/system_calls.h"

namespace trovik::read {
namespace {

RunChange larger(RunChange a, RunChange b) { return std::max(a, b); }

}  // namespace

Result<RunFollower> RunFollower::open(std::string path, Detail detail) {
  RunFollowerState fresh;
  fresh.summary.detail = detail;
  RunFollower follower(std::move(path), std::move(fresh));
  Result<RunChange> first = follower.refresh();
  if (!first.ok()) return std::move(first).status();
  return follower;
}

RunFollower::RunFollower(std::string path, RunFollowerState state)
    : path_(std::move(path)), position_(state.position), builder_([&] {
        state.summary.summary.path = path_;
        return std::move(state.summary);
      }()) {}

Result<RunChange> RunFollower::refresh() {
  // 1. The file as it is now, held open so that what is checked is what is read.
  int fd;
  do {
    fd = sys_open(path_.c_str(), O_RDONLY | O_CLOEXEC, 0);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Status::OSError("cannot open " + path_ + ": " + os_error_text(errno));
  ScopedFd file(fd);
  struct stat info {};
  if (sys_fstat(fd, &info) != 0) {
    return Status::OSError("cannot read " + path_ + ": " + os_error_text(errno));
  }
  const FileIdentity now = identity_of(info);
  if (now == position_.identity) return std::exchange(unreported_, RunChange::kNone);

  // 2. Another file, or one shorter than what was read, is read from the start.
  const FileIdentity& before = position_.identity;
  bool restart =
      now.device != before.device || now.inode != before.inode || now.size < position_.offset;
  const uint64_t tail_start = restart ? 0 : position_.offset - position_.tail_size;
  Result<LineReader> opened = LineReader::from_descriptor(std::move(file), path_, tail_start, true);
  if (!opened.ok()) return std::move(opened).status();
  LineReader& reader = opened.value();

  // 3. So is one whose bytes just before the offset are no longer those that were read.
  if (!restart && position_.tail_size > 0) {
    Result<std::string_view> tail = reader.read_bytes(position_.tail_size);
    if (!tail.ok()) return std::move(tail).status();
    restart = tail.value().size() != position_.tail_size ||
              byte_hash(tail.value()) != position_.tail_hash;
    if (restart) {
      Status rewound = reader.seek(0);
      if (!rewound.ok()) return rewound;
    }
  }
  RunChange change = RunChange::kNone;
  if (restart) {
    builder_ = RunSummaryBuilder(path_, builder_.state().detail);
    position_ = ReadPosition{};
    change = RunChange::kRestarted;
  }

  // 4. The complete lines from the offset on. What was read stays read, also when the reading
  // fails part way: the summary is always that of the bytes up to the offset.
  const RunSummary& summary = builder_.summary();
  const uint64_t lines_before = summary.records + summary.bad_lines;
  const bool torn_before = summary.torn;
  Status status = reader.read_available([&](std::string_view line) {
    builder_.add_line(line);
    return true;
  });
  const std::string_view tail = reader.consumed_tail();
  position_.offset = reader.consumed();
  position_.tail_size = static_cast<uint32_t>(tail.size());
  position_.tail_hash = byte_hash(tail);
  if (summary.records + summary.bad_lines != lines_before) {
    change = larger(change, RunChange::kAppended);
  }
  if (!status.ok()) {
    unreported_ = larger(unreported_, change);
    return status;
  }
  builder_.set_unfinished(reader.unfinished());
  if (summary.torn != torn_before) change = larger(change, RunChange::kAppended);
  position_.identity = now;
  return larger(std::exchange(unreported_, RunChange::kNone), change);
}

}  // namespace trovik::read
