#include "read/run_summary_builder.h"

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "json/parser.h"
#include "json/reader.h"
#include "read/line_reader.h"

namespace trovik::read {

RunSummaryBuilder::RunSummaryBuilder(std::string path, Detail detail, bool starts_file)
    : detail_(detail), first_line_(starts_file) {
  summary_.path = std::move(path);
}

void RunSummaryBuilder::add_line(std::string_view line) {
  // The first line is read whole: a run_start record's value is kept as it is.
  if (std::exchange(first_line_, false) && take_run_start(line)) return;
  handler_.reset();
  if (!json::parse_json(line, handler_).ok() || !handler_.is_object()) {
    ++summary_.bad_lines;
    return;
  }
  add_record();
}

bool RunSummaryBuilder::take_run_start(std::string_view line) {
  Result<json::Value> record = json::read_json(line);
  if (!record.ok() || record.value().type() != json::Value::Type::kObject) return false;
  json::Object& object = record.value().as_object();
  const json::Value* kind = object.find("kind");
  if (kind == nullptr || kind->type() != json::Value::Type::kString ||
      kind->as_string() != "run_start") {
    return false;
  }
  ++summary_.records;
  auto text_member = [&](std::string_view key, std::string& out) {
    const json::Value* member = object.find(key);
    if (member != nullptr && member->type() == json::Value::Type::kString) {
      out = member->as_string();
      return true;
    }
    return false;
  };
  text_member("run_id", summary_.run_id);
  text_member("experiment_name", summary_.name);
  text_member("created_at", summary_.created_at);
  if (const json::Value* elapsed = object.find("elapsed_ms");
      elapsed != nullptr && elapsed->type() == json::Value::Type::kUnsigned) {
    summary_.elapsed_ms = elapsed->as_unsigned();
  }
  const json::Value* value = object.find("value");
  summary_.run_start = value != nullptr ? *value : json::Value();
  return true;
}

void RunSummaryBuilder::add_record() {
  ++summary_.records;
  if (handler_.has_elapsed_ms()) summary_.elapsed_ms = handler_.elapsed_ms();
  if (summary_.name.empty() && handler_.has_name()) summary_.name = handler_.name();
  if (!handler_.is_track()) return;

  const uint64_t track_index = summary_.track_records++;
  const bool from_index = !handler_.has_step();
  const int64_t step = from_index ? static_cast<int64_t>(track_index) : handler_.step();
  const unsigned index_bit = from_index ? 1 : 0;
  const uint64_t elapsed = handler_.has_elapsed_ms() ? handler_.elapsed_ms() : 0;
  const std::vector<RecordHandler::Leaf>& leaves = handler_.leaves();
  for (size_t i = 0; i < leaves.size(); ++i) {
    const double value = leaves[i].value;
    SeriesSummary& s = series_for(i, handler_.leaf_name(leaves[i]));
    if (s.count++ == 0) {
      s.first = s.min = s.max = value;
      s.first_step = s.min_step = s.max_step = step;
      s.index_steps = index_bit * (1 | 4 | 8);
    } else if (value < s.min) {
      s.min = value;
      s.min_step = step;
      s.index_steps = (s.index_steps & ~4u) | index_bit * 4;
    } else if (value > s.max) {
      s.max = value;
      s.max_step = step;
      s.index_steps = (s.index_steps & ~8u) | index_bit * 8;
    }
    s.last = value;
    s.last_step = step;
    s.index_steps = (s.index_steps & ~2u) | index_bit * 2;
    if (detail_ != Detail::kSummary) {
      s.points.push_back(SeriesPoint{step, value, elapsed, track_index, from_index});
    }
  }
  if (detail_ == Detail::kSummary) return;
  if (handler_.has_note()) {
    summary_.notes.push_back(Note{elapsed, std::string(handler_.note()), step, from_index});
  }
  if (detail_ == Detail::kFull) summary_.track_times.push_back(handler_.created_at());
}

SeriesSummary& RunSummaryBuilder::series_for(size_t leaf_position, std::string_view name) {
  if (leaf_position < leaf_series_.size()) {
    SeriesSummary& cached = summary_.series[leaf_series_[leaf_position]];
    if (cached.name == name) return cached;
  } else {
    leaf_series_.resize(leaf_position + 1);
  }
  auto found = series_index_.find(name);
  if (found == series_index_.end()) {
    found = series_index_.emplace(std::string(name), summary_.series.size()).first;
    summary_.series.push_back(SeriesSummary{});
    summary_.series.back().name = std::string(name);
  }
  leaf_series_[leaf_position] = found->second;
  return summary_.series[found->second];
}

RunSummary RunSummaryBuilder::finish(std::string_view unfinished) {
  summary_.torn = !unfinished.empty();
  if (summary_.run_id.empty()) {
    // A file without a run_start record is named after its file.
    std::string_view file = summary_.path;
    if (const size_t slash = file.rfind('/'); slash != std::string_view::npos) {
      file.remove_prefix(slash + 1);
    }
    if (file.ends_with(".jsonl")) file.remove_suffix(6);
    summary_.run_id = std::string(file);
  }
  return std::move(summary_);
}

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

}  // namespace

void join_run_parts(RunSummary& into, RunSummary&& later) {
  const uint64_t base = into.track_records;
  const auto shift = [base](int64_t& step, bool from_index) {
    if (from_index) step += static_cast<int64_t>(base);
  };
  for (SeriesSummary& part : later.series) {
    shift(part.first_step, (part.index_steps & 1) != 0);
    shift(part.last_step, (part.index_steps & 2) != 0);
    shift(part.min_step, (part.index_steps & 4) != 0);
    shift(part.max_step, (part.index_steps & 8) != 0);
    for (SeriesPoint& point : part.points) {
      shift(point.step, point.step_from_index);
      point.track_index += base;
    }
    SeriesSummary* mine = nullptr;
    for (SeriesSummary& s : into.series) {
      if (s.name == part.name) mine = &s;
    }
    if (mine == nullptr) {
      into.series.push_back(std::move(part));
      continue;
    }
    // Of equal extremes the earlier one stays, as when the file is read in one part.
    if (part.min < mine->min) {
      mine->min = part.min;
      mine->min_step = part.min_step;
      mine->index_steps = (mine->index_steps & ~4u) | (part.index_steps & 4);
    }
    if (part.max > mine->max) {
      mine->max = part.max;
      mine->max_step = part.max_step;
      mine->index_steps = (mine->index_steps & ~8u) | (part.index_steps & 8);
    }
    mine->count += part.count;
    mine->last = part.last;
    mine->last_step = part.last_step;
    mine->index_steps = (mine->index_steps & ~2u) | (part.index_steps & 2);
    mine->points.insert(mine->points.end(), part.points.begin(), part.points.end());
  }
  if (into.name.empty()) into.name = std::move(later.name);
  if (later.elapsed_ms) into.elapsed_ms = later.elapsed_ms;
  into.records += later.records;
  into.bad_lines += later.bad_lines;
  into.track_records += later.track_records;
  into.torn = later.torn;
  for (Note& note : later.notes) shift(note.step, note.step_from_index);
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
      const uint64_t end = i + 1 == parts.size() ? UINT64_MAX : bounds[i + 1];
      workers.emplace_back(
          [&, i, end] { parts[i].emplace(read_part(path, detail, bounds[i], end)); });
    }
    // The last part reads to the end of the file as it is now, so a line appended meanwhile
    // is read or seen torn, as in a reading in one part.
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
