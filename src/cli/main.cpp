// The `trovik` command: looks at the runs that the trovik module records. One file per
// subcommand; each registers itself here, and every failure is reported by report_failure.

#include <CLI/CLI.hpp>
#include <clocale>
#include <exception>

#include "cli/command_context.h"
#include "cli/failure.h"
#include "cli/output.h"
#include "version.h"

namespace {

int run_command_line(int argc, char** argv) {
  trovik::cli::CommandContext context;
  CLI::App app{"Look at the runs recorded by trovik: list, show, compare, code, tail, clean up.",
               "trovik"};
  app.set_version_flag("--version", TROVIK_VERSION);
  app.require_subcommand(1);
  app.fallthrough();
  app.add_option("--root", context.roots,
                 "a directory holding runs/ (repeatable); default: TROVIK_DIR, else every .trovik "
                 "in the working directory and the git work tree")
      ->type_name("DIR")
      // One directory per --root, so that `show --root DIR @1` leaves @1 to the subcommand.
      ->allow_extra_args(false);

  trovik::cli::register_ls(app, context);
  trovik::cli::register_show(app, context);
  trovik::cli::register_compare(app, context);
  trovik::cli::register_code(app, context);
  trovik::cli::register_tail(app, context);
  trovik::cli::register_gc(app, context);
  trovik::cli::register_export(app, context);
  trovik::cli::register_report(app, context);
  trovik::cli::register_serve(app, context);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return trovik::cli::report_usage_failure(e.what());
  }
  trovik::Status status = context.check_roots();
  if (status.ok()) status = context.command();
  // As git does after every command: output that never arrived is a failure, not a success.
  if (status.ok()) status = trovik::cli::standard_output_status();
  return trovik::cli::exit_status_after(status);
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  // Whatever escapes a command (an allocation that failed, a fault in a library) ends it here, as
  // one line and exit status 1, never in std::terminate.
  try {
    return run_command_line(argc, argv);
  } catch (const std::exception& e) {
    return trovik::cli::report_failure(trovik::Status::InternalFault(e.what()));
  } catch (...) {
    return trovik::cli::report_failure(trovik::Status::InternalFault("an unknown exception"));
  }
}
