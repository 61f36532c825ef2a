#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/report_model.h"
#include "serve/followed_run.h"

namespace trovik::serve {

// A run's texts as the page shows them, made from its summary off the server's thread.
struct RunTexts {
  report::ReportRun run;           // id, name, status, facts, metadata; no series, no notes
  std::vector<std::string> cells;  // the run table's fixed cells
  int64_t started_ns = 0;
};

// One run as the live page sees it, and when each part of it last changed: every change is
// stamped with the cursor it was made under, so that what changed after any cursor a page holds
// can be told without keeping the changes themselves. Thinned points are kept per series (a
// fixed number of buckets, so memory does not grow with the records); a bucket's stamp says when
// it last changed, and buckets are only ever changed from some position on, so a page's copy is
// brought up to date by sending the buckets from the first one changed since its cursor.
class LiveRun {
 public:
  // Buckets each series keeps: enough for a line across a chart's width.
  static constexpr size_t kBucketsPerSeries = 256;

  LiveRun(std::string path, int64_t fallback_start_ns)
      : path_(std::move(path)), fallback_start_ns_(fallback_start_ns) {}

  // Takes in what a look at the file found, under the stamp `at`.
  void fold(const RunUpdate& update, uint64_t at);
  // Replaces the texts; stamped `at` when what a page shows of them changed, which it returns.
  bool set_texts(RunTexts texts, uint64_t at);

  bool changed_after(uint64_t since) const { return changed_at_ > since; }
  // The run as a change for store.apply: its texts and notes when they changed after `since`
  // (all of them for a run the page can't know yet), and with `series` its series from the first
  // bucket each changed at. `since` 0: the whole run.
  void append_change(std::string& out, uint64_t since, bool series) const;
  // {"id", "series": [every series whole]}.
  void append_series(std::string& out) const;

  const std::string& path() const { return path_; }
  int64_t fallback_start_ns() const { return fallback_start_ns_; }
  const RunTexts& texts() const { return texts_; }
  const std::vector<report::RunNote>& notes() const { return notes_; }
  size_t notes_left_out() const { return notes_left_out_; }

 private:
  struct Series {
    report::RunSeries series;
    bool charted = true;    // false: left out of the page (the step axis itself, or past the cap)
    uint64_t whole_at = 0;  // appeared, or its bucket width changed
    std::vector<uint64_t> bucket_stamps;  // one per bucket, in bucket order
    uint64_t changed_at = 0;
  };
  void fold_series(Series& live, const read::SeriesSummary& summary, uint64_t at);
  void stamp(uint64_t at) { changed_at_ = std::max(changed_at_, at); }

  std::string path_;
  int64_t fallback_start_ns_;
  RunTexts texts_;
  std::vector<Series> series_;  // in the order of the summary's series
  size_t series_left_out_ = 0;
  std::vector<report::RunNote> notes_;
  size_t notes_left_out_ = 0;
  uint64_t added_at_ = 0;  // first read, or read again from the start
  uint64_t texts_at_ = 0;  // name, status, metadata
  uint64_t cells_at_ = 0;
  uint64_t notes_at_ = 0;
  uint64_t changed_at_ = 0;
};

}  // namespace trovik::serve
