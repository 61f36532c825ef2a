#pragma once

#include <functional>
#include <string>
#include <vector>

#include "read/run_catalog.h"
#include "util/status.h"

namespace CLI {
class App;
}

namespace trovik::cli {

// What every subcommand shares: the options given before or after its name, and the one command
// chosen on the command line, run after parsing so that its failure is reported in one place.
struct CommandContext {
  std::vector<std::string> roots;  // --root, repeatable
  std::function<Status()> command;

  // The run files under the roots, newest first (see read::list_run_files); a runs folder that
  // can't be read is a warning.
  std::vector<read::RunFileEntry> runs(bool read_first_lines = true) const;
  // Each --root given must be a directory, and not a runs folder itself: a usage error with a hint
  // otherwise, so that a mistyped root is not "no runs found".
  Status check_roots() const;
  // The run a user named (see read::resolve_run).
  Result<read::RunFileEntry> find_run(const std::string& reference) const;
};

// Each subcommand registers itself on the application.
void register_ls(CLI::App& app, CommandContext& context);
void register_show(CLI::App& app, CommandContext& context);
void register_compare(CLI::App& app, CommandContext& context);
void register_code(CLI::App& app, CommandContext& context);
void register_tail(CLI::App& app, CommandContext& context);
void register_gc(CLI::App& app, CommandContext& context);
void register_export(CLI::App& app, CommandContext& context);
void register_report(CLI::App& app, CommandContext& context);
void register_serve(CLI::App& app, CommandContext& context);

}  // namespace trovik::cli
