// trovik tail RUN [-n N] [-f]: one readable line for each of the last complete records; -f follows
// the file as it grows.

#include <time.h>

#include <CLI/CLI.hpp>
#include <deque>
#include <memory>
#include <string>

#include "cli/command_context.h"
#include "cli/failure.h"
#include "cli/output.h"
#include "read/line_reader.h"
#include "read/record_text.h"
#include "read/text_format.h"
#include "util/quote.h"

namespace trovik::cli {
namespace {

// How often a followed file is looked at again for new records.
constexpr long kFollowIntervalNs = 200'000'000;
constexpr int kDefaultLines = 10;  // as tail(1)

struct TailOptions {
  std::string run;
  int lines = kDefaultLines;
  bool follow = false;
  bool full = false;
};

// A record as one line for a person: quoted for the terminal, and cut to its width unless the
// whole line was asked for (a value can be megabytes long).
std::string shown_line(std::string_view record, const TailOptions& options, size_t width) {
  std::optional<std::string> text = read::record_text(record);
  if (!text) return {};
  std::string line = terminal_quoted(*text);
  if (!options.full && width > 0) line = read::truncate_to_width(line, width);
  return line + '\n';
}

Status run_tail(const TailOptions& options, const CommandContext& context) {
  if (options.lines < 1) return usage_error("-n must be at least 1");
  Result<read::RunFileEntry> entry = context.find_run(options.run);
  if (!entry.ok()) return std::move(entry).status();
  Result<read::LineReader> reader = read::LineReader::open(entry.value().path);
  if (!reader.ok()) return std::move(reader).status();
  const size_t width = stdout_terminal().width;

  // Only the last N records' lines are held while the file is read.
  std::deque<std::string> last;
  Status status = reader.value().read_available([&](std::string_view record) {
    std::string line = shown_line(record, options, width);
    if (line.empty()) return true;
    last.push_back(std::move(line));
    if (last.size() > static_cast<size_t>(options.lines)) last.pop_front();
    return true;
  });
  if (!status.ok()) return status;
  std::string out;
  for (const std::string& line : last) out += line;
  last.clear();
  for (;;) {
    write_out(out);
    out.clear();
    // Following into a closed pipe or a full disk would go on for nothing.
    if (!options.follow || !standard_output_status().ok()) return Status::Ok();
    // A line being written is completed by a later write; until then it waits in the reader.
    const struct timespec interval = {0, kFollowIntervalNs};
    ::nanosleep(&interval, nullptr);
    status = reader.value().read_available([&](std::string_view line) {
      out += shown_line(line, options, width);
      return true;
    });
    if (!status.ok()) return status;
  }
}

}  // namespace

void register_tail(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<TailOptions>();
  CLI::App* tail = app.add_subcommand("tail", "Print a run's last records, one readable line each");
  tail->add_option("run", options->run, "run id, id prefix, @N or run file")
      ->required()
      ->type_name("RUN");
  tail->add_option("-n,--lines", options->lines, "print the last N records")
      ->type_name("N")
      ->capture_default_str();
  tail->add_flag("-f,--follow", options->follow,
                 "keep printing records as they are appended, until interrupted");
  tail->add_flag("--full", options->full, "print whole records, not cut to the terminal's width");
  tail->callback([options, &context] {
    context.command = [options, &context] { return run_tail(*options, context); };
  });
}

}  // namespace trovik::cli
