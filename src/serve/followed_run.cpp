#include "serve/followed_run.h"

#include <utility>
#include <vector>

namespace trovik::serve {

std::optional<RunUpdate> FollowedRun::look() {
  RunUpdate update;
  if (!follower_) {
    Result<read::RunFollower> opened = read::RunFollower::open(path_, read::Detail::kPoints);
    if (!opened.ok()) return std::nullopt;
    follower_.emplace(std::move(opened.value()));
    update.restarted = true;
  } else {
    Result<read::RunChange> change = follower_->refresh();
    if (!change.ok() || change.value() == read::RunChange::kNone) return std::nullopt;
    update.restarted = change.value() == read::RunChange::kRestarted;
  }

  // The points and notes leave the follower's state before the rest is copied, and the follower
  // goes on from that state: it keeps reading as if it had never held them.
  read::RunFollowerState state = follower_->state();
  read::RunSummary& kept = state.summary.summary;
  std::vector<std::vector<read::SeriesPoint>> points;
  points.reserve(kept.series.size());
  for (read::SeriesSummary& series : kept.series)
    points.push_back(std::exchange(series.points, {}));
  std::vector<read::Note> notes = std::exchange(kept.notes, {});
  update.summary = kept;
  for (size_t i = 0; i < points.size(); ++i) update.summary.series[i].points = std::move(points[i]);
  update.summary.notes = std::move(notes);
  follower_.emplace(path_, std::move(state));
  return update;
}

}  // namespace trovik::serve
