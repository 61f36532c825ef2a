#pragma once

#include <optional>
#include <string>

#include "read/run_follower.h"
#include "read/run_summary.h"

namespace trovik::serve {

// What one look at a run file found since the last: the run's summary as it now stands (its
// figures over every record read so far), carrying only the points and notes that are new.
struct RunUpdate {
  bool restarted = false;  // read from the start: what an earlier update said no longer holds
  read::RunSummary summary;
};

// Follows one run file for the live page: the first look reads what is there, each later one only
// the bytes appended since (see read::RunFollower). The points and notes of each update are handed
// over and dropped here, so what is kept between looks depends on the number of series, never on
// the number of records. Used by one thread.
class FollowedRun {
 public:
  explicit FollowedRun(std::string path) : path_(std::move(path)) {}

  // Nothing when the file did not change, or can't be read now (gone, unreadable): the next look
  // goes on from what was read before.
  std::optional<RunUpdate> look();

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::optional<read::RunFollower> follower_;
};

}  // namespace trovik::serve
