#pragma once

#include <cstdint>
#include <string>

#include "read/file_identity.h"
#include "read/run_summary_builder.h"
#include "read/run_summary_state.h"
#include "util/status.h"

namespace trovik::read {

// Where a reading of a run file stopped: the file as it was then, the offset just past the last
// complete line read, and a check of the bytes just before that offset.
struct ReadPosition {
  FileIdentity identity;  // all zero before the first reading
  uint64_t offset = 0;
  uint32_t tail_size = 0;  // at most LineReader::kTailSize
  uint64_t tail_hash = 0;  // byte_hash of those bytes
};

// What a follower needs to go on later, as plain data (see run_state_codec.h to store it).
struct RunFollowerState {
  ReadPosition position;
  RunSummaryState summary;
};

// What a refresh found.
enum class RunChange {
  kNone,       // nothing new: the summary is as it was
  kAppended,   // lines were added to the summary, or its torn last line appeared or went
  kRestarted,  // the file was replaced, shrank or was rewritten: the summary was read anew
};

// Follows one run file as it grows: the first refresh reads what is there, each later one only
// the bytes appended since, from the kept offset and summary. A file that shrank, was replaced
// (another device or inode) or whose bytes just before the offset changed is read again from the
// start. An unfinished last line is not read until its line feed arrives. The file is opened
// anew at each refresh, so following many files holds no descriptors.
class RunFollower {
 public:
  // Reads the file at `path` as far as it is complete.
  static Result<RunFollower> open(std::string path, Detail detail);
  // Takes up a state kept earlier (from a cache, say); nothing is read until refresh().
  RunFollower(std::string path, RunFollowerState state);

  // Reads what was appended since the last refresh. A failure (the file is gone or unreadable)
  // keeps what was read before it; the next refresh goes on from there and reports any change
  // the failed one made.
  Result<RunChange> refresh();

  // What a fresh reading of the file up to offset() gives (with `torn` for what follows).
  const RunSummary& summary() const { return builder_.summary(); }
  const ReadPosition& position() const { return position_; }
  uint64_t offset() const { return position_.offset; }
  const FileIdentity& identity() const { return position_.identity; }
  // A copy of everything needed to go on later.
  RunFollowerState state() const { return {position_, builder_.state()}; }

 private:
  std::string path_;
  ReadPosition position_;
  RunSummaryBuilder builder_;
  RunChange unreported_ = RunChange::kNone;  // made by a refresh that then failed
};

}  // namespace trovik::read
