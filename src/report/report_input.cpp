#include "report/report_input.h"

#include <algorithm>
#include <numeric>

#include "read/run_batch.h"
#include "read/run_code.h"
#include "read/run_ending.h"
#include "read/run_facts.h"
#include "read/run_status.h"
#include "read/run_summary_builder.h"
#include "read/short_names.h"
#include "read/text_format.h"
#include "read/timestamp.h"
#include "report/page_limits.h"

namespace trovik::report {
namespace {

// A snapshot that swept in data files can have a diff of many megabytes; the page keeps its start.
constexpr size_t kMaxDiffBytes = size_t{256} * 1024;

// The code a run used, as `trovik code` shows it: the snapshot's diff against its parent, or which
// commit a run without a snapshot used.
void add_code(const read::RunSummary& run, const std::string& repository, ReportRun& out) {
  const read::RunCode code =
      read::look_up_code(run.run_id, read::git_facts(run), repository, read::CodeDetail::kWithDiff);
  if (code.state == read::CodeState::kNoWorkTree ||
      code.state == read::CodeState::kBeforeFirstCommit) {
    return;
  }
  const std::string commit = read::abbreviated_commit(code.git.commit);
  if (!code.snapshot_named) {
    out.code_heading = "commit " + commit +
                       (code.git.dirty ? " with uncommitted changes that were not kept"
                                       : ", no uncommitted changes");
    return;
  }
  if (code.state != read::CodeState::kSnapshot || !code.diff) {
    out.code_heading = "snapshot " + commit + " is not in the repository here";
    return;
  }
  out.code_heading = "uncommitted changes over " + commit + "^";
  out.code_diff = *code.diff;
  if (out.code_diff.size() > kMaxDiffBytes) {
    out.code_diff.resize(out.code_diff.rfind('\n', kMaxDiffBytes) + 1);
    out.code_heading += " (the first 256 kB: `trovik code " + run.run_id + "` shows all)";
  }
}

std::vector<LabelledText> facts_of(const read::RunSummary& run, const read::RunFacts& facts) {
  std::vector<LabelledText> shown;
  auto add = [&](std::string label, std::optional<std::string> text) {
    if (text) shown.emplace_back(std::move(label), std::move(*text));
  };
  if (run.run_end) {
    const read::RunEnding ending = read::run_ending(*run.run_end);
    add("exception", read::exception_text(ending));
    add("resources", read::resources_text(ending));
  }
  add("host", facts.host);
  add("user", facts.user);
  if (!facts.argv.empty()) add("argv", read::shell_quote(facts.argv));
  add("cwd", facts.cwd);
  if (facts.started_ns) {
    add("start", read::format_utc_time(*facts.started_ns) + " UTC (" +
                     read::format_local_time(*facts.started_ns) + " local)");
  }
  if (run.run_end_elapsed_ms) {
    add("duration", read::format_duration_ms(*run.run_end_elapsed_ms));
  } else if (facts.elapsed_ms) {
    add("duration", read::format_duration_ms(*facts.elapsed_ms));
  }
  std::string records = std::to_string(facts.records);
  if (run.records_after_end > 0) {
    records += ", " + std::to_string(run.records_after_end) + " after the end record";
  }
  if (facts.torn) records += ", last line torn";
  if (facts.bad_lines > 0) records += ", " + std::to_string(facts.bad_lines) + " bad lines skipped";
  add("records", records);
  if (const std::optional<read::GitFacts>& git = facts.git) {
    add("git", git->commit + (git->branch.empty() ? "" : " on " + git->branch) +
                   (git->dirty ? ", dirty" : ", clean"));
  } else {
    add("git", "not in a git work tree");
  }
  add("file", run.path);
  return shown;
}

}  // namespace

ReportRun report_run_texts(const read::RunSummary& run, const read::ProcessProbe& probe) {
  ReportRun out;
  out.run_id = run.run_id;
  out.short_id = read::short_run_id(run.run_id);
  out.name = run.name;
  out.status = read::status_name(read::run_status(run, probe));
  out.facts = facts_of(run, read::run_facts(run, probe));
  if (run.run_end) out.traceback = read::run_ending(*run.run_end).traceback.value_or("");
  out.metadata = read::metadata_cells(run);
  for (const read::Note& note : run.notes) {
    out.notes.push_back({note.step, static_cast<double>(note.elapsed_ms), note.text});
  }
  return out;
}

ReportInputBuilder::ReportInputBuilder(XAxis x_axis, int64_t now_ns,
                                       const read::ProcessProbe& probe, size_t expected_runs)
    : table_(read::RunTable::Options{now_ns, &probe}),
      probe_(probe),
      expected_runs_(std::max<size_t>(expected_runs, 1)) {
  input_.x_axis = x_axis;
  input_.generated_at = read::format_utc_time(now_ns) + " UTC";
}

void ReportInputBuilder::add(const read::RunSummary& run, int64_t fallback_start_ns,
                             const std::string& repository) {
  table_.add(run, fallback_start_ns);
  ReportRun& out = input_.runs.emplace_back(report_run_texts(run, probe_));
  // Its series are thinned as soon as it is read, each to its share of the page, so that only one
  // run's full points are held at a time; past the page's number of charts, the run keeps the
  // series first by name.
  std::vector<const read::SeriesSummary*> charted;
  for (const read::SeriesSummary& series : run.series) {
    // Against a step axis the `step` member is the axis itself: its chart would be a diagonal.
    if (input_.x_axis == XAxis::kStep && series.name == "step") continue;
    charted.push_back(&series);
  }
  std::sort(charted.begin(), charted.end(),
            [](const auto* a, const auto* b) { return a->name < b->name; });
  if (charted.size() > kMaxCharts) {
    out.series_left_out = charted.size() - kMaxCharts;
    charted.resize(kMaxCharts);
  }
  const size_t buckets = buckets_per_series(expected_runs_, charted.size());
  for (const read::SeriesSummary* series : charted) {
    RunSeries& kept =
        out.series.emplace_back(RunSeries{series->name, series->count, series->first, series->last,
                                          series->min, series->max, read::SeriesThinning(buckets)});
    for (const read::SeriesPoint& point : series->points) {
      kept.thinned.add(point.step, static_cast<double>(point.elapsed_ms), point.value);
    }
  }
  add_code(run, repository, out);
}

ReportInput ReportInputBuilder::finish() && {
  std::vector<size_t> rows(table_.row_count());
  std::iota(rows.begin(), rows.end(), 0);
  std::vector<read::ShownColumn> columns = table_.fixed_columns();
  for (read::ShownColumn& column : table_.value_columns(rows)) columns.push_back(std::move(column));
  const std::vector<read::ShownColumn> shown = table_.columns_to_show(columns, rows, false);
  for (const read::ShownColumn& column : shown) {
    input_.summary.columns.push_back(column.header);
    const bool fixed = table_.columns()[column.sources.front()].kind == read::Column::Kind::kFixed;
    if (fixed) input_.summary.fixed_columns = input_.summary.columns.size();
  }
  for (size_t row : rows) {
    std::vector<std::string>& cells = input_.summary.rows.emplace_back();
    for (const read::ShownColumn& column : shown) {
      cells.push_back(table_.shown_cell(row, column).text());
    }
  }
  for (size_t c = 0; c < table_.columns().size(); ++c) {
    const read::Column& column = table_.columns()[c];
    if (column.kind == read::Column::Kind::kMetadata &&
        table_.differs(read::ShownColumn{column.header, {c}}, rows)) {
      input_.differing_metadata.insert(column.name);
    }
  }
  fit_to_page(input_);
  return std::move(input_);
}

Result<ReportInput> build_report_input(const std::vector<read::RunFileEntry>& runs, XAxis x_axis,
                                       int64_t now_ns, std::vector<Status>* skipped) {
  ReportInputBuilder builder(x_axis, now_ns, read::system_process_probe(), runs.size());
  read::RepositoryFinder repositories;
  // One run at a time: its points are thinned before the next one is read.
  for (const read::RunFileEntry& entry : runs) {
    Result<read::RunSummary> run =
        read::read_run_file(entry.path, read::Detail::kPoints, read::reading_threads());
    if (!run.ok() && skipped != nullptr) {
      skipped->push_back(Status::OSError(entry.path + ": " + run.status().message()));
      continue;
    }
    if (!run.ok()) return std::move(run).status();
    builder.add(run.value(), entry.started_ns, repositories.repository_of(entry.path));
  }
  return std::move(builder).finish();
}

}  // namespace trovik::report
