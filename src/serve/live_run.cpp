#include "serve/live_run.h"

#include <algorithm>
#include <limits>

#include "report/page_data.h"
#include "report/page_json.h"
#include "report/page_limits.h"

namespace trovik::serve {
namespace {

void append_texts(std::string& out, const std::vector<std::string>& texts) {
  out += '[';
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) out += ',';
    report::append_page_json_string(out, texts[i]);
  }
  out += ']';
}

// What a page shows of a run besides its table cells, which change with every record.
bool same_identity(const RunTexts& a, const RunTexts& b) {
  return a.run.run_id == b.run.run_id && a.run.name == b.run.name && a.run.status == b.run.status &&
         a.run.metadata == b.run.metadata;
}

}  // namespace

void LiveRun::fold(const RunUpdate& update, uint64_t at) {
  if (update.restarted) {
    series_.clear();
    series_left_out_ = 0;
    notes_.clear();
    notes_left_out_ = 0;
    added_at_ = at;
  }
  const std::vector<read::SeriesSummary>& all = update.summary.series;
  for (size_t i = 0; i < all.size(); ++i) {
    if (i == series_.size()) {
      Series& added = series_.emplace_back();
      added.series =
          report::RunSeries{all[i].name, 0, 0, 0, 0, 0, read::SeriesThinning(kBucketsPerSeries)};
      // Against a step axis the `step` member is the axis itself: its chart would be a diagonal.
      const size_t charted = series_.size() - 1 - series_left_out_;
      added.charted = all[i].name != "step" && charted < report::kMaxCharts;
      if (!added.charted && all[i].name != "step") ++series_left_out_;
      added.whole_at = at;
    }
    if (series_[i].charted) fold_series(series_[i], all[i], at);
  }
  for (const read::Note& note : update.summary.notes) {
    if (notes_.size() == report::kMaxNotesPerRun) {
      ++notes_left_out_;
    } else {
      notes_.push_back({note.step, static_cast<double>(note.elapsed_ms), note.text});
    }
    notes_at_ = at;
  }
  stamp(update.restarted || !update.summary.notes.empty() ? at : 0);
}

void LiveRun::fold_series(Series& live, const read::SeriesSummary& summary, uint64_t at) {
  report::RunSeries& series = live.series;
  if (summary.count == series.count && summary.points.empty()) return;
  series.count = summary.count;
  series.first = summary.first;
  series.last = summary.last;
  series.min = summary.min;
  series.max = summary.max;
  read::SeriesThinning& thinned = series.thinned;
  const int width_before = thinned.width_log2();
  int64_t lowest_step = std::numeric_limits<int64_t>::max();
  for (const read::SeriesPoint& point : summary.points) {
    thinned.add(point.step, static_cast<double>(point.elapsed_ms), point.value);
    lowest_step = std::min(lowest_step, point.step);
  }
  const std::vector<read::SeriesBucket>& buckets = thinned.buckets();
  // A wider bucket moved every point: the series goes whole. Otherwise only the buckets from the
  // one the lowest new step falls into changed (a bucket added there moves those after it).
  size_t first_changed = 0;
  if (thinned.width_log2() != width_before) {
    live.whole_at = at;
  } else {
    const int64_t index = lowest_step >> thinned.width_log2();
    first_changed =
        static_cast<size_t>(std::lower_bound(buckets.begin(), buckets.end(), index,
                                             [](const read::SeriesBucket& bucket, int64_t i) {
                                               return bucket.index < i;
                                             }) -
                            buckets.begin());
  }
  live.bucket_stamps.resize(buckets.size());
  std::fill(live.bucket_stamps.begin() + static_cast<ptrdiff_t>(first_changed),
            live.bucket_stamps.end(), at);
  live.changed_at = at;
  stamp(at);
}

bool LiveRun::set_texts(RunTexts texts, uint64_t at) {
  const bool identity_changed = texts_at_ == 0 || !same_identity(texts_, texts);
  const bool cells_changed = cells_at_ == 0 || texts_.cells != texts.cells;
  texts_ = std::move(texts);
  if (identity_changed) texts_at_ = at;
  if (cells_changed) cells_at_ = at;
  if (!identity_changed && !cells_changed) return false;
  stamp(at);
  return true;
}

void LiveRun::append_change(std::string& out, uint64_t since, bool series) const {
  const bool whole = since < added_at_;
  out += "{\"id\":";
  report::append_page_json_string(out, texts_.run.run_id);
  if (whole || since < texts_at_) {
    out += ",\"name\":";
    report::append_page_json_string(out, texts_.run.name);
    out += ",\"status\":";
    report::append_page_json_string(out, texts_.run.status);
    out += ",\"metadata\":[";
    for (size_t i = 0; i < texts_.run.metadata.size(); ++i) {
      if (i > 0) out += ',';
      out += '[';
      report::append_page_json_string(out, texts_.run.metadata[i].first);
      out += ',';
      report::append_page_json_string(out, texts_.run.metadata[i].second);
      out += ']';
    }
    out += "],\"series_left_out\":";
    report::append_page_json_integer(out, static_cast<int64_t>(series_left_out_));
  }
  if (whole || since < cells_at_) {
    out += ",\"cells\":";
    append_texts(out, texts_.cells);
  }
  if (whole || since < notes_at_) {
    out += ",\"notes\":[";
    for (size_t i = 0; i < notes_.size(); ++i) {
      if (i > 0) out += ',';
      out += '[';
      report::append_page_json_integer(out, notes_[i].step);
      out += ',';
      report::append_page_json_number(out, notes_[i].elapsed_ms);
      out += ',';
      report::append_page_json_string(out, notes_[i].text);
      out += ']';
    }
    out += "],\"notes_left_out\":";
    report::append_page_json_integer(out, static_cast<int64_t>(notes_left_out_));
  }
  if (series) {
    out += ",\"series\":[";
    bool first = true;
    for (const Series& live : series_) {
      if (!live.charted || live.changed_at <= since) continue;
      if (!first) out += ',';
      first = false;
      size_t from = 0;
      if (!whole && since >= live.whole_at) {
        while (from < live.bucket_stamps.size() && live.bucket_stamps[from] <= since) ++from;
      }
      report::append_page_series(out, live.series, from);
    }
    out += ']';
  }
  out += '}';
}

void LiveRun::append_series(std::string& out) const {
  out += "{\"id\":";
  report::append_page_json_string(out, texts_.run.run_id);
  out += ",\"series\":[";
  bool first = true;
  for (const Series& live : series_) {
    if (!live.charted || live.changed_at == 0) continue;
    if (!first) out += ',';
    first = false;
    report::append_page_series(out, live.series);
  }
  out += "]}";
}

}  // namespace trovik::serve
