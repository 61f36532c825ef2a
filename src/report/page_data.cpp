#include "report/page_data.h"

#include <algorithm>
#include <string_view>

#include "report/page_json.h"

namespace trovik::report {
namespace {

constexpr int kValueDigits = 6;

void append_key(std::string& out, std::string_view key) {
  out += '"';
  out += key;
  out += "\":";
}

void append_strings(std::string& out, const std::vector<std::string>& texts, size_t count) {
  out += '[';
  for (size_t i = 0; i < count && i < texts.size(); ++i) {
    if (i > 0) out += ',';
    append_page_json_string(out, texts[i]);
  }
  out += ']';
}

// Differences of steps in doubles: exact for every step a page can place, and never overflowing.
void append_difference(std::string& out, double to, double from) {
  append_page_json_number(out, to - from);
}

void append_buckets(std::string& out, const read::SeriesThinning& thinned, size_t from) {
  const std::vector<read::SeriesBucket>& all = thinned.buckets();
  out += '[';
  double step = from > 0 ? static_cast<double>(all[from - 1].last.step) : 0;
  double elapsed = from > 0 ? all[from - 1].last.elapsed_ms : 0;
  bool first_bucket = true;
  for (size_t i = from; i < all.size(); ++i) {
    const read::SeriesBucket& bucket = all[i];
    if (!first_bucket) out += ',';
    first_bucket = false;
    append_page_json_integer(out, static_cast<int64_t>(bucket.count));
    out += ',';
    append_difference(out, static_cast<double>(bucket.first.step), step);
    out += ',';
    append_difference(out, bucket.first.elapsed_ms, elapsed);
    out += ',';
    step = static_cast<double>(bucket.last.step);
    elapsed = bucket.last.elapsed_ms;
    if (bucket.count == 1) {
      append_page_json_rounded(out, bucket.mean, kValueDigits);
      continue;
    }
    append_difference(out, step, static_cast<double>(bucket.first.step));
    out += ',';
    append_difference(out, elapsed, bucket.first.elapsed_ms);
    out += ',';
    append_page_json_rounded(out, bucket.mean, kValueDigits);
    const bool lowest_first = bucket.lowest.step <= bucket.highest.step;
    out += ',';
    append_page_json_rounded(out, (lowest_first ? bucket.lowest : bucket.highest).value,
                             kValueDigits);
    out += ',';
    append_page_json_rounded(out, (lowest_first ? bucket.highest : bucket.lowest).value,
                             kValueDigits);
  }
  out += ']';
}

}  // namespace

void append_page_series(std::string& out, const RunSeries& series, size_t from_bucket) {
  from_bucket = std::min(from_bucket, series.thinned.buckets().size());
  out += "{\"name\":";
  append_page_json_string(out, series.name);
  out += ",\"count\":";
  append_page_json_integer(out, static_cast<int64_t>(series.count));
  const std::pair<std::string_view, double> figures[] = {
      {"first", series.first}, {"last", series.last}, {"min", series.min}, {"max", series.max}};
  for (const auto& [key, value] : figures) {
    out += ',';
    append_key(out, key);
    append_page_json_number(out, value);
  }
  out += ",\"w\":";
  append_page_json_integer(out, series.thinned.width_log2());
  if (from_bucket > 0) {
    out += ",\"from\":";
    append_page_json_integer(out, static_cast<int64_t>(from_bucket));
  }
  out += ",\"b\":";
  append_buckets(out, series.thinned, from_bucket);
  out += '}';
}

namespace {

void append_run(std::string& out, const ReportRun& run, const std::vector<std::string>* cells,
                size_t fixed_columns) {
  out += "{\"id\":";
  append_page_json_string(out, run.run_id);
  out += ",\"name\":";
  append_page_json_string(out, run.name);
  if (!run.status.empty()) {
    out += ",\"status\":";
    append_page_json_string(out, run.status);
  }
  out += ",\"cells\":";
  static const std::vector<std::string> kNoCells;
  append_strings(out, cells != nullptr ? *cells : kNoCells, fixed_columns);
  out += ",\"metadata\":[";
  for (size_t i = 0; i < run.metadata.size(); ++i) {
    if (i > 0) out += ',';
    out += '[';
    append_page_json_string(out, run.metadata[i].first);
    out += ',';
    append_page_json_string(out, run.metadata[i].second);
    out += ']';
  }
  out += "],\"notes\":[";
  for (size_t i = 0; i < run.notes.size(); ++i) {
    if (i > 0) out += ',';
    out += '[';
    append_page_json_integer(out, run.notes[i].step);
    out += ',';
    append_page_json_number(out, run.notes[i].elapsed_ms);
    out += ',';
    append_page_json_string(out, run.notes[i].text);
    out += ']';
  }
  out += ']';
  if (run.series_left_out > 0) {
    out += ",\"series_left_out\":";
    append_page_json_integer(out, static_cast<int64_t>(run.series_left_out));
  }
  if (run.notes_left_out > 0) {
    out += ",\"notes_left_out\":";
    append_page_json_integer(out, static_cast<int64_t>(run.notes_left_out));
  }
  out += ",\"series\":[";
  for (size_t i = 0; i < run.series.size(); ++i) {
    if (i > 0) out += ',';
    append_page_series(out, run.series[i]);
  }
  out += "]}";
}

}  // namespace

void append_page_data(std::string& out, const ReportInput& input) {
  const SummaryTable& table = input.summary;
  out += "{\"format\":1,\"generated_at\":";
  append_page_json_string(out, input.generated_at);
  out += input.x_axis == XAxis::kStep ? ",\"x\":\"step\"" : ",\"x\":\"elapsed\"";
  out += ",\"columns\":";
  append_strings(out, table.columns, table.fixed_columns);
  out += ",\"runs\":[";
  for (size_t i = 0; i < input.runs.size(); ++i) {
    if (i > 0) out += ",\n";
    append_run(out, input.runs[i], i < table.rows.size() ? &table.rows[i] : nullptr,
               table.fixed_columns);
  }
  out += "]}";
}

}  // namespace trovik::report
