#include "read/run_summary_builder.h"

#include <utility>

#include "json/parser.h"
#include "json/reader.h"
#include "read/line_reader.h"

namespace trovik::read {

RunSummaryBuilder::RunSummaryBuilder(std::string path, Detail detail) : detail_(detail) {
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
  const int64_t step = handler_.has_step() ? handler_.step() : static_cast<int64_t>(track_index);
  const uint64_t elapsed = handler_.has_elapsed_ms() ? handler_.elapsed_ms() : 0;
  const std::vector<RecordHandler::Leaf>& leaves = handler_.leaves();
  for (size_t i = 0; i < leaves.size(); ++i) {
    const double value = leaves[i].value;
    SeriesSummary& s = series_for(i, handler_.leaf_name(leaves[i]));
    if (s.count++ == 0) {
      s.first = s.min = s.max = value;
      s.first_step = s.min_step = s.max_step = step;
    } else if (value < s.min) {
      s.min = value;
      s.min_step = step;
    } else if (value > s.max) {
      s.max = value;
      s.max_step = step;
    }
    s.last = value;
    s.last_step = step;
    if (detail_ == Detail::kFull)
      s.points.push_back(SeriesPoint{step, value, elapsed, track_index});
  }
  if (detail_ == Detail::kFull) {
    summary_.track_times.push_back(handler_.created_at());
    if (handler_.has_note()) summary_.notes.push_back(Note{elapsed, handler_.note()});
  }
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

Result<RunSummary> read_run_file(const std::string& path, Detail detail) {
  Result<LineReader> reader = LineReader::open(path);
  if (!reader.ok()) return std::move(reader).status();
  RunSummaryBuilder builder(path, detail);
  Status status = reader.value().read_available([&](std::string_view line) {
    builder.add_line(line);
    return true;
  });
  if (!status.ok()) return status;
  return builder.finish(reader.value().unfinished());
}

}  // namespace trovik::read
