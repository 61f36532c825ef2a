#include "serve/live_run_source.h"

#include <algorithm>
#include <map>
#include <set>
#include <system_error>

#include "json/writer.h"
#include "read/run_catalog.h"
#include "read/run_facts.h"
#include "read/run_table.h"
#include "read/timestamp.h"
#include "report/page_json.h"
#include "report/report_input.h"
#include "report/report_page.h"

namespace trovik::serve {
namespace {

// A run whose process still runs has its texts made again every this many passes, also when its
// file did not change: its age and duration move on, and its status may change without a record
// (a process that was killed).
constexpr uint64_t kTextsEveryPasses = 5;

// The metadata keys whose values differ between `runs` (absent differs from any value).
std::set<std::string, std::less<>> differing_keys(const std::vector<report::ReportRun>& runs) {
  std::map<std::string_view, std::set<std::string_view>> values;
  std::map<std::string_view, size_t> holders;
  for (const report::ReportRun& run : runs) {
    for (const auto& [key, value] : run.metadata) {
      values[key].insert(value);
      ++holders[key];
    }
  }
  std::set<std::string, std::less<>> keys;
  for (const auto& [key, seen] : values) {
    if (seen.size() > 1 || holders[key] != runs.size()) keys.emplace(key);
  }
  return keys;
}

}  // namespace

LiveRunSource::LiveRunSource(std::vector<std::string> roots, std::chrono::milliseconds interval,
                             const read::ProcessProbe& probe)
    : roots_(std::move(roots)), interval_(interval), probe_(probe) {
  const read::RunTable table(read::RunTable::Options{});
  for (const read::ShownColumn& column : table.fixed_columns()) {
    fixed_columns_.push_back(column.header);
  }
}

LiveRunSource::~LiveRunSource() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (watcher_.joinable()) watcher_.join();
}

Status LiveRunSource::start() {
  try {
    watcher_ = std::thread([this] { watch(); });
  } catch (const std::system_error& error) {
    return Status::OSError(std::string("cannot start the run watcher: ") + error.what());
  }
  return Status::Ok();
}

void LiveRunSource::watch() {
  look_once();
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, interval_, [this] { return stopping_; })) {
    lock.unlock();
    look_once();
    lock.lock();
  }
}

bool LiveRunSource::stopping() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopping_;
}

void LiveRunSource::look_once() {
  // Only the files' facts: a run's first line is read by its follower, and only when it changed.
  // Most recently written first, so that the runs a page shows first are read first.
  const std::vector<read::RunFileEntry> entries = read::list_run_files(roots_, false);
  const bool texts_due = passes_++ % kTextsEveryPasses == 0;
  for (const read::RunFileEntry& entry : entries) {
    if (stopping()) return;
    auto [found, added] = followed_.try_emplace(entry.path, entry.path);
    if (added) {
      std::lock_guard<std::mutex> lock(mutex_);
      runs_.push_back(std::make_unique<LiveRun>(entry.path, entry.started_ns));
      found->second.live = runs_.back().get();
    }
    look_at(found->second, texts_due);
  }
  // Once the roots were looked at, a page that waits for the first news hears that there is none.
  std::lock_guard<std::mutex> lock(mutex_);
  if (next_stamp_ == 0) cursor_.store(next_stamp_ = 1, std::memory_order_release);
}

void LiveRunSource::look_at(Followed& followed, bool texts_due) {
  std::optional<RunUpdate> update = followed.file.look();
  if (!update) {
    if (!followed.read_once || !texts_due || !followed.live_process) return;
    RunTexts texts = texts_of(followed);
    std::lock_guard<std::mutex> lock(mutex_);
    if (followed.live->set_texts(std::move(texts), next_stamp_ + 1)) {
      cursor_.store(++next_stamp_, std::memory_order_release);
    }
    return;
  }
  followed.last = update->summary;
  for (read::SeriesSummary& series : followed.last.series) series.points = {};
  followed.last.notes = {};
  followed.read_once = true;
  RunTexts texts = texts_of(followed);
  std::lock_guard<std::mutex> lock(mutex_);
  const uint64_t at = ++next_stamp_;
  followed.live->fold(*update, at);
  followed.live->set_texts(std::move(texts), at);
  cursor_.store(at, std::memory_order_release);
}

RunTexts LiveRunSource::texts_of(Followed& followed) const {
  const read::RunSummary& summary = followed.last;
  const int64_t fallback = followed.live->fallback_start_ns();
  RunTexts texts;
  texts.run = report::report_run_texts(summary, probe_);
  texts.run.notes.clear();
  read::RunTable table(read::RunTable::Options{read::now_ns(), &probe_});
  table.add(summary, fallback);
  for (const read::ShownColumn& column : table.fixed_columns()) {
    texts.cells.push_back(table.shown_cell(0, column).text());
  }
  texts.started_ns = read::started_ns(summary).value_or(fallback);
  followed.live_process = read::is_live(read::recorded_process(summary), probe_);
  return texts;
}

Result<std::string> LiveRunSource::page(std::string_view nonce) const {
  report::ReportInput input;
  input.generated_at = read::format_utc_time(read::now_ns()) + " UTC";
  input.summary.columns = fixed_columns_;
  input.summary.fixed_columns = fixed_columns_.size();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<const LiveRun*> shown;
    for (const auto& run : runs_) {
      if (run->changed_after(0)) shown.push_back(run.get());
    }
    std::stable_sort(shown.begin(), shown.end(), [](const LiveRun* a, const LiveRun* b) {
      return a->texts().started_ns > b->texts().started_ns;
    });
    for (const LiveRun* run : shown) {
      report::ReportRun& out = input.runs.emplace_back(run->texts().run);
      out.notes = run->notes();
      out.notes_left_out = run->notes_left_out();
      input.summary.rows.push_back(run->texts().cells);
    }
  }
  input.differing_metadata = differing_keys(input.runs);
  return report::render_served_page(input, nonce, roots_);
}

Result<std::string> LiveRunSource::changes_since(uint64_t since) const {
  std::lock_guard<std::mutex> lock(mutex_);
  // A cursor from another start of the server means nothing here: the page gets everything.
  if (since > next_stamp_) since = 0;
  std::string out = "{\"cursor\":";
  json::write_integer(next_stamp_, out);
  std::vector<const LiveRun*> changed;
  for (const auto& run : runs_) {
    if (run->changed_after(since)) changed.push_back(run.get());
  }
  if (since == 0) {
    out += ",\"x\":\"step\",\"columns\":[";
    for (size_t i = 0; i < fixed_columns_.size(); ++i) {
      if (i > 0) out += ',';
      report::append_page_json_string(out, fixed_columns_[i]);
    }
    out += ']';
    // Newest first, as `ls` lists them; later runs come after, in the order they appear.
    std::stable_sort(changed.begin(), changed.end(), [](const LiveRun* a, const LiveRun* b) {
      return a->texts().started_ns > b->texts().started_ns;
    });
  }
  out += ",\"runs\":[";
  for (size_t i = 0; i < changed.size(); ++i) {
    if (i > 0) out += ",\n";
    // Everything at once would be every run's points: series come through run_series() then.
    changed[i]->append_change(out, since, since != 0);
  }
  out += "]}";
  return out;
}

Result<std::string> LiveRunSource::run_series(std::string_view run_id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& run : runs_) {
    if (!run->changed_after(0) || run->texts().run.run_id != run_id) continue;
    std::string out = "{\"cursor\":";
    json::write_integer(next_stamp_, out);
    out += ",\"run_id\":";
    report::append_page_json_string(out, run_id);
    out += ",\"runs\":[";
    run->append_series(out);
    out += "]}";
    return out;
  }
  return Status::NotFound("no run has this id");
}

}  // namespace trovik::serve
