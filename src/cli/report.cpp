// trovik report [RUN...] [-o FILE]: one HTML page that needs nothing else, with the runs' table,
// metadata side by side, a chart per series, and each run's facts and code.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/output.h"
#include "read/run_reference.h"
#include "read/timestamp.h"
#include "report/report_file.h"
#include "report/report_input.h"

namespace trovik::cli {
namespace {

constexpr size_t kDefaultRuns = 20;

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

Status run_report(const ReportOptions& options, const CommandContext& context) {
  Result<std::vector<read::RunFileEntry>> runs = chosen_runs(options, context);
  if (!runs.ok()) return std::move(runs).status();
  const report::XAxis axis =
      options.x_axis == "elapsed" ? report::XAxis::kElapsed : report::XAxis::kStep;
  Result<report::ReportInput> input =
      report::build_report_input(runs.value(), axis, read::now_ns());
  if (!input.ok()) return std::move(input).status();

  if (Status written = report::write_report(options.output, input.value()); !written.ok()) {
    return Status::OSError("cannot write " + options.output + ": " + written.message());
  }
  const size_t count = input.value().runs.size();
  write_out("wrote " + options.output + " (" + std::to_string(count) +
            (count == 1 ? " run)\n" : " runs)\n"));
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
