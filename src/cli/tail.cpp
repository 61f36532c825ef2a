// trovik tail RUN [-f]: one readable line per complete record; -f follows the file as it grows.

#include <time.h>

#include <CLI/CLI.hpp>
#include <memory>
#include <string>

#include "cli/command_context.h"
#include "cli/output.h"
#include "read/line_reader.h"
#include "read/record_text.h"

namespace trovik::cli {
namespace {

// How often a followed file is looked at again for new records.
constexpr long kFollowIntervalNs = 200'000'000;

struct TailOptions {
  std::string run;
  bool follow = false;
};

Status run_tail(const TailOptions& options, const CommandContext& context) {
  Result<read::RunFileEntry> entry = context.find_run(options.run);
  if (!entry.ok()) return std::move(entry).status();
  Result<read::LineReader> reader = read::LineReader::open(entry.value().path);
  if (!reader.ok()) return std::move(reader).status();
  std::string out;
  auto print_line = [&](std::string_view line) {
    if (std::optional<std::string> text = read::record_text(line)) {
      out += *text;
      out += '\n';
    }
    return true;
  };
  for (;;) {
    Status status = reader.value().read_available(print_line);
    if (!status.ok()) return status;
    write_out(out);
    out.clear();
    // Following into a closed pipe or a full disk would go on for nothing.
    if (!options.follow || !standard_output_status().ok()) return Status::Ok();
    // A line being written is completed by a later write; until then it waits in the reader.
    const struct timespec interval = {0, kFollowIntervalNs};
    ::nanosleep(&interval, nullptr);
  }
}

}  // namespace

void register_tail(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<TailOptions>();
  CLI::App* tail = app.add_subcommand("tail", "Print a run's records, one readable line each");
  tail->add_option("run", options->run, "run id, id prefix, @N or run file")
      ->required()
      ->type_name("RUN");
  tail->add_flag("-f,--follow", options->follow,
                 "keep printing records as they are appended, until interrupted");
  tail->callback([options, &context] {
    context.command = [options, &context] { return run_tail(*options, context); };
  });
}

}  // namespace trovik::cli
