#include "read/run_file_reading.h"

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "read/line_reader.h"
#include "read/run_summary_builder.h"
#include "read/thread_start.h"

namespace trovik::read {
namespace {

// Below this size a file is read in one part: threads would cost more than they save.
constexpr uint64_t kPartedFileSize = uint64_t{32} << 20;

Result<RunSummary> read_part(const std::string& path, Detail detail, uint64_t begin, uint64_t end) {
  Result<LineReader> reader = LineReader::open(path, begin, end);
  if (!reader.ok()) return std::move(reader).status();
  RunSummaryBuilder builder(path, detail, begin == 0);
  Status status = reader.value().read_available([&](std::string_view line) {
    builder.add_line(line);
    return true;
  });
  if (!status.ok()) return status;
  return builder.finish(reader.value().unfinished());
}

// Where the parts start: after the first line feed at or past each equal share of the file.
Result<std::vector<uint64_t>> part_starts(const std::string& path, uint64_t size, unsigned parts) {
  std::vector<uint64_t> starts = {0};
  for (unsigned i = 1; i < parts; ++i) {
    const uint64_t share = size / parts * i;
    if (share <= starts.back()) continue;
    Result<LineReader> reader = LineReader::open(path, share, size);
    if (!reader.ok()) return std::move(reader).status();
    uint64_t line_end = size;
    Status status = reader.value().read_available([&](std::string_view line) {
      line_end = share + line.size() + 1;
      return false;
    });
    if (!status.ok()) return status;
    if (line_end >= size) break;
    starts.push_back(line_end);
  }
  starts.push_back(size);
  return starts;
}

// Where a later part's records knew no step yet, the step is the one the parts before reached;
// when they reached none either, the track index, counted over the whole file.
struct StepBefore {
  uint64_t base;                 // track records of the parts before
  std::optional<int64_t> known;  // the latest step they had
};

// Moves a step taken from a part's track index to the whole file's rule; says whether it is
// still a track index.
bool resolve_step(int64_t& step, bool from_index, const StepBefore& before) {
  if (!from_index) return false;
  if (before.known) {
    step = *before.known;
    return false;
  }
  step += static_cast<int64_t>(before.base);
  return true;
}

void resolve_series_steps(SeriesSummary& series, const StepBefore& before) {
  int64_t* steps[] = {&series.first_step, &series.last_step, &series.min_step, &series.max_step};
  unsigned still_index = 0;
  for (unsigned bit = 0; bit < 4; ++bit) {
    const bool from_index = (series.index_steps & (1u << bit)) != 0;
    if (resolve_step(*steps[bit], from_index, before)) still_index |= 1u << bit;
  }
  series.index_steps = still_index;
  for (SeriesPoint& point : series.points) {
    point.step_from_index = resolve_step(point.step, point.step_from_index, before);
  }
}

// Merges a later part's summary of one series into the earlier part's.
void join_series(SeriesSummary& mine, SeriesSummary&& part) {
  // Of equal extremes the earlier one stays, as when the file is read in one part.
  if (part.min < mine.min) {
    mine.min = part.min;
    mine.min_step = part.min_step;
    mine.min_token = std::move(part.min_token);
    mine.index_steps = (mine.index_steps & ~4u) | (part.index_steps & 4);
  }
  if (part.max > mine.max) {
    mine.max = part.max;
    mine.max_step = part.max_step;
    mine.max_token = std::move(part.max_token);
    mine.index_steps = (mine.index_steps & ~8u) | (part.index_steps & 8);
  }
  mine.count += part.count;
  mine.last = part.last;
  mine.last_step = part.last_step;
  mine.last_token = std::move(part.last_token);
  mine.index_steps = (mine.index_steps & ~2u) | (part.index_steps & 2);
  mine.points.insert(mine.points.end(), part.points.begin(), part.points.end());
  const uint64_t token_base = mine.point_tokens.size();
  mine.point_tokens += part.point_tokens;
  for (const uint64_t end : part.point_token_ends)
    mine.point_token_ends.push_back(token_base + end);
}

}  // namespace

void join_run_parts(RunSummary& into, RunSummary&& later) {
  const StepBefore before{into.track_records, into.latest_step};
  // The index views the names in `into.series`, which has room for every series beforehand, so
  // none of them moves while it is in use.
  into.series.reserve(into.series.size() + later.series.size());
  std::unordered_map<std::string_view, size_t> index;
  index.reserve(into.series.capacity());
  for (size_t i = 0; i < into.series.size(); ++i) index.emplace(into.series[i].name, i);
  for (SeriesSummary& part : later.series) {
    resolve_series_steps(part, before);
    for (SeriesPoint& point : part.points) point.track_index += before.base;
    const auto found = index.find(part.name);
    if (found != index.end()) {
      join_series(into.series[found->second], std::move(part));
    } else {
      into.series.push_back(std::move(part));
      index.emplace(into.series.back().name, into.series.size() - 1);
    }
  }
  if (into.name.empty()) into.name = std::move(later.name);
  // The first end of the whole file is the earliest part's; every record of a later part
  // follows it.
  if (into.run_end) {
    into.records_after_end += later.records;
  } else if (later.run_end) {
    into.run_end = std::move(later.run_end);
    into.run_end_elapsed_ms = later.run_end_elapsed_ms;
    into.records_after_end = later.records_after_end;
  }
  if (later.environment) into.environment = std::move(later.environment);
  if (later.elapsed_ms) into.elapsed_ms = later.elapsed_ms;
  into.records += later.records;
  into.bad_lines += later.bad_lines;
  into.track_records += later.track_records;
  if (later.latest_step) into.latest_step = later.latest_step;
  into.torn = later.torn;
  for (Note& note : later.notes) {
    note.step_from_index = resolve_step(note.step, note.step_from_index, before);
  }
  into.notes.insert(into.notes.end(), std::make_move_iterator(later.notes.begin()),
                    std::make_move_iterator(later.notes.end()));
  into.track_times.insert(into.track_times.end(),
                          std::make_move_iterator(later.track_times.begin()),
                          std::make_move_iterator(later.track_times.end()));
}

Result<RunSummary> read_run_file(const std::string& path, Detail detail, unsigned threads) {
  struct stat info {};
  if (threads < 2 || ::stat(path.c_str(), &info) != 0 ||
      static_cast<uint64_t>(info.st_size) < kPartedFileSize) {
    return read_part(path, detail, 0, UINT64_MAX);
  }
  const uint64_t size = static_cast<uint64_t>(info.st_size);
  Result<std::vector<uint64_t>> starts = part_starts(path, size, threads);
  if (!starts.ok()) return std::move(starts).status();
  const std::vector<uint64_t>& bounds = starts.value();
  std::vector<std::optional<Result<RunSummary>>> parts(bounds.size() - 1);
  {
    std::vector<std::jthread> workers;
    for (size_t i = 1; i < parts.size(); ++i) {
      // The last part reads to the end of the file as it is now, so a line appended meanwhile
      // is read or seen torn, as in a reading in one part.
      const uint64_t end = i + 1 == parts.size() ? UINT64_MAX : bounds[i + 1];
      auto read = [&, i, end] { parts[i].emplace(read_part(path, detail, bounds[i], end)); };
      if (!start_thread(workers, read)) read();
    }
    const uint64_t first_end = parts.size() == 1 ? UINT64_MAX : bounds[1];
    parts[0].emplace(read_part(path, detail, 0, first_end));
  }
  if (!parts[0]->ok()) return std::move(*parts[0]).status();
  RunSummary whole = std::move(parts[0]->value());
  for (size_t i = 1; i < parts.size(); ++i) {
    if (!parts[i]->ok()) return std::move(*parts[i]).status();
    join_run_parts(whole, std::move(parts[i]->value()));
  }
  return whole;
}

}  // namespace trovik::read
