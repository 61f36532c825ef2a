// trovik report [RUN...] [-o FILE]: one HTML page that needs nothing else, with the runs' table,
// metadata side by side, a chart per series, and each run's facts and code.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/output.h"
#include "git/command_runner.h"
#include "read/run_batch.h"
#include "read/run_facts.h"
#include "read/run_reference.h"
#include "read/run_summary_builder.h"
#include "read/text_format.h"
#include "read/timestamp.h"
#include "report/page_limits.h"
#include "report/report_file.h"

namespace trovik::cli {
namespace {

constexpr size_t kDefaultRuns = 20;
constexpr std::string_view kSnapshotMessage = "trovik: snapshot run ";
// A snapshot that swept in data files can have a diff of many megabytes; the page keeps its start.
constexpr size_t kMaxDiffBytes = size_t{256} * 1024;

struct ReportOptions {
  std::vector<std::string> runs;
  std::string output = "trovik-report.html";
  std::string x_axis = "step";
};

Result<std::vector<read::RunFileEntry>> chosen_runs(const ReportOptions& options,
                                                    const CommandContext& context) {
  std::vector<read::RunFileEntry> all = context.runs();
  if (options.runs.empty()) {
    if (all.size() > kDefaultRuns) all.resize(kDefaultRuns);
    return all;
  }
  // The runs are listed once for all references: a report of 200 runs names 200 of them.
  std::vector<read::RunFileEntry> runs;
  for (const std::string& reference : options.runs) {
    Result<read::RunFileEntry> entry = read::resolve_run(reference, all);
    if (!entry.ok()) return std::move(entry).status();
    const bool named_before = std::any_of(
        runs.begin(), runs.end(), [&](const auto& run) { return run.path == entry.value().path; });
    if (!named_before) runs.push_back(std::move(entry.value()));
  }
  return runs;
}

// The code a run used, as `trovik code` shows it: the snapshot's diff against its parent, or
// which commit a run without a snapshot used.
void add_code(const read::RunSummary& run, report::ReportRun& out) {
  const std::optional<read::GitFacts> git = read::git_facts(run);
  if (!git || git->commit.empty()) return;
  const bool snapshot = git->dirty && git->branch == "run/" + run.run_id;
  if (snapshot) {
    const git::OptionalText subject =
        git::command_output("git", {"log", "-1", "--format=%s", git->commit});
    const git::OptionalText diff =
        git::command_output("git", {"diff", git->commit + "^", git->commit, "--"});
    if (subject && *subject == std::string(kSnapshotMessage) + run.run_id && diff) {
      out.code_heading = "uncommitted changes over " + git->commit.substr(0, 10) + "^";
      out.code_diff = *diff;
      if (out.code_diff.size() > kMaxDiffBytes) {
        out.code_diff.resize(out.code_diff.rfind('\n', kMaxDiffBytes) + 1);
        out.code_heading += " (the first 256 kB: `trovik code " + run.run_id + "` shows all)";
      }
      return;
    }
    out.code_heading = "snapshot " + git->commit.substr(0, 10) + " is not in the repository here";
    return;
  }
  out.code_heading =
      "commit " + git->commit.substr(0, 10) +
      (git->dirty ? " with uncommitted changes that were not kept" : ", no uncommitted changes");
}

std::vector<report::LabelledText> facts_of(const read::RunSummary& run) {
  std::vector<report::LabelledText> facts;
  auto add = [&](std::string label, std::optional<std::string> text) {
    if (text) facts.emplace_back(std::move(label), std::move(*text));
  };
  add("host", read::hostname_of(run));
  add("user", read::username_of(run));
  const std::vector<std::string> argv = read::argv_of(run);
  if (!argv.empty()) add("argv", read::shell_quote(argv));
  add("cwd", read::cwd_of(run));
  if (const std::optional<int64_t> started = read::started_ns(run)) {
    add("start",
        read::format_utc_time(*started) + " UTC (" + read::format_local_time(*started) + " local)");
  }
  if (run.elapsed_ms) add("duration", read::format_duration_ms(*run.elapsed_ms));
  std::string records = std::to_string(run.records);
  if (run.torn) records += ", last line torn";
  if (run.bad_lines > 0) records += ", " + std::to_string(run.bad_lines) + " bad lines skipped";
  add("records", records);
  if (const std::optional<read::GitFacts> git = read::git_facts(run)) {
    add("git", git->commit + (git->branch.empty() ? "" : " on " + git->branch) +
                   (git->dirty ? ", dirty" : ", clean"));
  } else {
    add("git", "not in a git work tree");
  }
  add("file", run.path);
  return facts;
}

// A run as the page shows it. Its series are thinned as soon as it is read, each to its share of
// the page, so that only one run's full points are held at a time; past the page's number of
// charts, the run keeps the series first by name.
report::ReportRun convert_run(const read::RunSummary& run, report::XAxis axis, size_t runs) {
  report::ReportRun out;
  out.run_id = run.run_id;
  out.name = run.name;
  out.facts = facts_of(run);
  out.metadata = read::metadata_cells(run);
  for (const read::Note& note : run.notes) {
    out.notes.push_back({note.step, static_cast<double>(note.elapsed_ms), note.text});
  }
  std::vector<const read::SeriesSummary*> charted;
  for (const read::SeriesSummary& series : run.series) {
    // Against a step axis the `step` member is the axis itself: its chart would be a diagonal.
    if (axis == report::XAxis::kStep && series.name == "step") continue;
    charted.push_back(&series);
  }
  std::sort(charted.begin(), charted.end(),
            [](const auto* a, const auto* b) { return a->name < b->name; });
  if (charted.size() > report::kMaxCharts) {
    out.series_left_out = charted.size() - report::kMaxCharts;
    charted.resize(report::kMaxCharts);
  }
  const size_t buckets = report::buckets_per_series(runs, charted.size());
  for (const read::SeriesSummary* series : charted) {
    report::RunSeries& kept = out.series.emplace_back(
        report::RunSeries{series->name, series->count, series->first, series->last, series->min,
                          series->max, read::SeriesThinning(buckets)});
    for (const read::SeriesPoint& point : series->points) {
      kept.thinned.add(point.step, static_cast<double>(point.elapsed_ms), point.value);
    }
  }
  add_code(run, out);
  return out;
}

// The run table as `trovik ls` lays it out: fixed columns, then the metadata and series (last
// value) columns whose cells differ between the runs (all of them for a single run). The series
// are those the page charts.
class SummaryColumns {
 public:
  void add(const read::RunSummary& run, const report::ReportRun& shown,
           const read::RunFileEntry& entry, int64_t now) {
    std::vector<std::string> row = {
        run.run_id.substr(0, 8),
        run.name,
        run.created_at.empty() ? "?"
                               : read::format_local_time(entry.started_ns) + " (" +
                                     read::format_age(entry.started_ns, now) + ")",
        run.elapsed_ms ? read::format_duration_ms(*run.elapsed_ms) : "",
        std::to_string(run.records) + (run.torn ? "+torn" : ""),
        "",
        read::hostname_of(run).value_or(""),
    };
    if (const std::optional<read::GitFacts> git = read::git_facts(run)) {
      row[5] = git->commit.substr(0, 7) + (git->branch.empty() ? "" : " " + git->branch) +
               (git->dirty ? "*" : "");
    }
    std::map<std::string, std::string> extra;
    for (auto& [key, text] : read::metadata_cells(run)) put(extra, key, std::move(text));
    for (const report::RunSeries& series : shown.series) {
      put(extra, series.name, read::format_number(series.last));
    }
    rows_.push_back(std::move(row));
    extras_.push_back(std::move(extra));
  }

  report::SummaryTable table() const {
    report::SummaryTable table;
    table.columns = {"id", "name", "start", "duration", "records", "git", "host"};
    table.fixed_columns = table.columns.size();
    std::vector<std::string> shown;
    for (const std::string& name : extra_names_) {
      const std::string* first = cell(0, name);
      bool differs = rows_.size() == 1;
      for (size_t i = 1; i < rows_.size() && !differs; ++i) {
        const std::string* other = cell(i, name);
        differs = (first == nullptr) != (other == nullptr) || (first && *first != *other);
      }
      if (differs) shown.push_back(name);
    }
    table.columns.insert(table.columns.end(), shown.begin(), shown.end());
    for (size_t i = 0; i < rows_.size(); ++i) {
      std::vector<std::string> row = rows_[i];
      for (const std::string& name : shown) {
        const std::string* text = cell(i, name);
        row.push_back(text != nullptr ? *text : "");
      }
      table.rows.push_back(std::move(row));
    }
    return table;
  }

 private:
  void put(std::map<std::string, std::string>& extra, const std::string& name, std::string text) {
    if (seen_.insert(name).second) extra_names_.push_back(name);
    extra[name] = std::move(text);
  }
  const std::string* cell(size_t row, const std::string& name) const {
    auto found = extras_[row].find(name);
    return found == extras_[row].end() ? nullptr : &found->second;
  }

  std::vector<std::vector<std::string>> rows_;
  std::vector<std::map<std::string, std::string>> extras_;
  std::vector<std::string> extra_names_;  // in the order first seen
  std::set<std::string> seen_;
};

Status run_report(const ReportOptions& options, const CommandContext& context) {
  Result<std::vector<read::RunFileEntry>> runs = chosen_runs(options, context);
  if (!runs.ok()) return std::move(runs).status();

  report::ReportInput input;
  input.x_axis = options.x_axis == "elapsed" ? report::XAxis::kElapsed : report::XAxis::kStep;
  const int64_t now = read::now_ns();
  input.generated_at = read::format_utc_time(now) + " UTC";
  SummaryColumns summary;
  // One run at a time: its points are thinned before the next one is read.
  for (const read::RunFileEntry& entry : runs.value()) {
    Result<read::RunSummary> run =
        read::read_run_file(entry.path, read::Detail::kPoints, read::reading_threads());
    if (!run.ok()) return std::move(run).status();
    input.runs.push_back(convert_run(run.value(), input.x_axis, runs.value().size()));
    summary.add(run.value(), input.runs.back(), entry, now);
  }
  input.summary = summary.table();
  report::fit_to_page(input);

  if (Status written = report::write_report(options.output, input); !written.ok()) {
    return Status::OSError("cannot write " + options.output + ": " + written.message());
  }
  write_out("wrote " + options.output + " (" + std::to_string(input.runs.size()) +
            (input.runs.size() == 1 ? " run)\n" : " runs)\n"));
  return Status::Ok();
}

}  // namespace

void register_report(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<ReportOptions>();
  CLI::App* report = app.add_subcommand(
      "report", "Write one self-contained HTML page with the runs' tables, charts and code");
  report
      ->add_option("runs", options->runs,
                   "run ids, id prefixes, @N or run files (default: the newest 20 runs)")
      ->type_name("RUN");
  report->add_option("-o,--output", options->output, "the page to write")
      ->type_name("FILE")
      ->capture_default_str();
  report->add_option("--x", options->x_axis, "what the charts' horizontal axis shows")
      ->check(CLI::IsMember({"step", "elapsed"}))
      ->capture_default_str();
  report->callback([options, &context] {
    context.command = [options, &context] { return run_report(*options, context); };
  });
}

}  // namespace trovik::cli
