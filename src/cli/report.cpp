// trovik report [RUN...] [-o FILE]: one HTML page that needs nothing else, with the runs' table,
// metadata side by side, a chart per series, and each run's facts and code.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/failure.h"
#include "cli/output.h"
#include "read/run_reference.h"
#include "read/run_roots.h"
#include "read/timestamp.h"
#include "report/report_file.h"
#include "report/report_input.h"
#include "util/path.h"
#include "util/quote.h"

namespace trovik::cli {
namespace {

constexpr size_t kDefaultRuns = 20;
// Under the runs' root rather than the working directory, which is most often a work tree whose
// next snapshot would otherwise take the page in.
constexpr std::string_view kDefaultPage = "trovik-report.html";

struct ReportOptions {
  std::vector<std::string> runs;
  std::string output;  // empty: kDefaultPage under the first root; "-": standard output
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
  std::vector<Status> skipped;
  Result<report::ReportInput> input =
      report::build_report_input(runs.value(), axis, read::now_ns(), &skipped);
  for (const Status& run : skipped) report_warning("skipped " + run.message());
  if (!input.ok()) return std::move(input).status();

  if (options.output == "-") {
    Result<std::string> page = report::report_page_text(input.value());
    if (!page.ok()) return std::move(page).status();
    write_out(page.value());
    return Status::Ok();
  }
  const std::string path =
      options.output.empty() ? join_path(read::find_run_roots(context.roots).front(), kDefaultPage)
                             : options.output;
  if (Status written = report::write_report(path, input.value()); !written.ok()) {
    const std::string message = "cannot write " + terminal_quoted(path) + ": " + written.message();
    return written.kind() == ErrorKind::kValueError ? usage_error(message)
                                                    : Status::OSError(message);
  }
  const size_t count = input.value().runs.size();
  write_out("wrote " + terminal_quoted(path) + " (" + std::to_string(count) +
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
  report
      ->add_option("-o,--output", options->output,
                   "the page to write; - for standard output (default: trovik-report.html in the "
                   "first root)")
      ->type_name("FILE");
  report->add_option("--x", options->x_axis, "what the charts' horizontal axis shows")
      ->check(CLI::IsMember({"step", "elapsed"}))
      ->capture_default_str();
  report->callback([options, &context] {
    context.command = [options, &context] { return run_report(*options, context); };
  });
}

}  // namespace trovik::cli
