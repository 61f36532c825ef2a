#include "read/run_summary_builder.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "json/parser.h"
#include "json/reader.h"
#include "read/run_status.h"

namespace trovik::read {
namespace {

// A file without a run_start record is named after its file.
std::string run_id_from_path(std::string_view path) {
  if (const size_t slash = path.rfind('/'); slash != std::string_view::npos) {
    path.remove_prefix(slash + 1);
  }
  if (path.ends_with(".jsonl")) path.remove_suffix(6);
  return std::string(path);
}

}  // namespace

RunSummaryBuilder::RunSummaryBuilder(std::string path, Detail detail, bool starts_file) {
  state_.detail = detail;
  state_.next_line_is_first = starts_file;
  state_.summary.run_id = run_id_from_path(path);
  state_.summary.path = std::move(path);
}

RunSummaryBuilder::RunSummaryBuilder(RunSummaryState state) : state_(std::move(state)) {
  const std::vector<SeriesSummary>& series = state_.summary.series;
  series_index_.reserve(series.size());
  for (size_t i = 0; i < series.size(); ++i) series_index_.emplace(series[i].name, i);
}

void RunSummaryBuilder::add_line(std::string_view line) {
  // The first line is read whole: a run_start record's value is kept as it is.
  if (std::exchange(state_.next_line_is_first, false) && take_run_start(line)) return;
  handler_.reset();
  if (!json::parse_json(line, handler_).ok() || !handler_.is_object()) {
    ++state_.summary.bad_lines;
    return;
  }
  add_record(line);
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
  RunSummary& summary = state_.summary;
  ++summary.records;
  auto text_member = [&](std::string_view key, std::string& out) {
    const json::Value* member = object.find(key);
    if (member != nullptr && member->type() == json::Value::Type::kString) {
      out = member->as_string();
      return true;
    }
    return false;
  };
  // An empty run_id names no run: the file's name stays.
  if (std::string id; text_member("run_id", id) && !id.empty()) summary.run_id = std::move(id);
  text_member("experiment_name", summary.name);
  text_member("created_at", summary.created_at);
  if (const json::Value* elapsed = object.find("elapsed_ms");
      elapsed != nullptr && elapsed->type() == json::Value::Type::kUnsigned) {
    summary.elapsed_ms = elapsed->as_unsigned();
  }
  const json::Value* value = object.find("value");
  summary.run_start = value != nullptr ? *value : json::Value();
  return true;
}

void RunSummaryBuilder::add_record(std::string_view line) {
  RunSummary& summary = state_.summary;
  const Detail detail = state_.detail;
  ++summary.records;
  if (summary.run_end) ++summary.records_after_end;
  if (handler_.has_elapsed_ms()) summary.elapsed_ms = handler_.elapsed_ms();
  if (summary.name.empty() && handler_.has_name()) summary.name = handler_.name();
  if (!handler_.is_track()) {
    take_end_or_environment(line);
    return;
  }

  const uint64_t track_index = summary.track_records++;
  // A record without a step (a final test score) belongs to the step the run had reached; only
  // before any record had one is its position the step.
  if (handler_.has_step()) summary.latest_step = handler_.step();
  const bool from_index = !summary.latest_step;
  const int64_t step = from_index ? static_cast<int64_t>(track_index) : *summary.latest_step;
  const unsigned index_bit = from_index ? 1 : 0;
  const uint64_t elapsed = handler_.has_elapsed_ms() ? handler_.elapsed_ms() : 0;
  const std::vector<RecordHandler::Leaf>& leaves = handler_.leaves();
  for (size_t i = 0; i < leaves.size(); ++i) {
    const double value = leaves[i].value;
    const std::string_view token = leaves[i].token;
    SeriesSummary& s = series_for(i, handler_.leaf_name(leaves[i]));
    if (s.count++ == 0) {
      s.first = s.min = s.max = value;
      s.first_step = s.min_step = s.max_step = step;
      s.index_steps = index_bit * (1 | 4 | 8);
      s.first_token.assign(token);
      s.min_token.assign(token);
      s.max_token.assign(token);
    } else if (value < s.min) {
      s.min = value;
      s.min_step = step;
      s.index_steps = (s.index_steps & ~4u) | index_bit * 4;
      s.min_token.assign(token);
    } else if (value > s.max) {
      s.max = value;
      s.max_step = step;
      s.index_steps = (s.index_steps & ~8u) | index_bit * 8;
      s.max_token.assign(token);
    }
    s.last = value;
    s.last_step = step;
    s.index_steps = (s.index_steps & ~2u) | index_bit * 2;
    s.last_token.assign(token);
    if (detail == Detail::kSummary) continue;
    s.points.push_back(SeriesPoint{step, value, elapsed, track_index, from_index});
    if (detail == Detail::kFull) {
      s.point_tokens += token;
      s.point_token_ends.push_back(s.point_tokens.size());
    }
  }
  if (detail == Detail::kSummary) return;
  if (handler_.has_note()) {
    summary.notes.push_back(Note{elapsed, std::string(handler_.note()), step, from_index});
  }
  if (detail == Detail::kFull) summary.track_times.push_back(handler_.created_at());
}

void RunSummaryBuilder::take_end_or_environment(std::string_view line) {
  const bool end = handler_.kind() == "run_end" && !state_.summary.run_end;
  if (!end && handler_.kind() != "environment") return;
  // Both are rare and small next to the track records: read whole, their values are kept as
  // they are.
  Result<json::Value> record = json::read_json(line);
  if (!record.ok() || record.value().type() != json::Value::Type::kObject) return;
  const json::Value* value = record.value().as_object().find("value");
  if (value == nullptr) return;
  RunSummary& summary = state_.summary;
  if (!end) {
    summary.environment = *value;
  } else if (recorded_ending(*value)) {
    summary.run_end = *value;
    if (handler_.has_elapsed_ms()) summary.run_end_elapsed_ms = handler_.elapsed_ms();
  }
}

SeriesSummary& RunSummaryBuilder::series_for(size_t leaf_position, std::string_view name) {
  std::vector<SeriesSummary>& series = state_.summary.series;
  if (leaf_position < leaf_series_.size()) {
    SeriesSummary& cached = series[leaf_series_[leaf_position]];
    if (cached.name == name) return cached;
  } else {
    leaf_series_.resize(leaf_position + 1);
  }
  auto found = series_index_.find(name);
  if (found == series_index_.end()) {
    found = series_index_.emplace(std::string(name), series.size()).first;
    series.emplace_back().name = std::string(name);
  }
  leaf_series_[leaf_position] = found->second;
  return series[found->second];
}

RunSummary RunSummaryBuilder::finish(std::string_view unfinished) {
  set_unfinished(unfinished);
  return std::move(state_.summary);
}

}  // namespace trovik::read
