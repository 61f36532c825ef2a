// trovik serve [--port N] [--host ADDR]: the runs under the roots as a live page, served over HTTP
// to whoever holds the printed URL's token, until Ctrl-C or SIGTERM.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <charconv>
#include <climits>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/command_context.h"
#include "cli/output.h"
#include "read/process_probe.h"
#include "read/run_roots.h"
#include "serve/live_run_source.h"
#include "serve/server.h"
#include "util/environment.h"

namespace trovik::cli {
namespace {

// Taken when free; otherwise any free port, since the user did not ask for this one.
constexpr uint16_t kDefaultPort = 8430;
// How often the roots are listed again and each run file looked at for appended records.
constexpr std::chrono::milliseconds kListingInterval{1000};
// For tests only: a short idle limit, so that a stalled client is seen being cut off quickly.
constexpr const char* kIdleLimitVariable = "TROVIK_SERVE_IDLE_MS";

struct ServeCommandOptions {
  std::optional<uint16_t> port;
  std::string host = "127.0.0.1";
};

// The host name for the ssh line, when it is one a shell and a terminal take as it is.
std::string this_host() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "<this host>";
  for (const char* c = name; *c != '\0'; ++c) {
    const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                       (*c >= '0' && *c <= '9') || *c == '-' || *c == '.' || *c == '_';
    if (!plain) return "<this host>";
  }
  return name;
}

std::optional<std::chrono::milliseconds> idle_limit_for_tests() {
  std::optional<std::string> text = environment_text(kIdleLimitVariable);
  if (!text) return std::nullopt;
  unsigned milliseconds = 0;
  const char* end = text->data() + text->size();
  const auto [stop, error] = std::from_chars(text->data(), end, milliseconds);
  if (error != std::errc() || stop != end || milliseconds == 0) return std::nullopt;
  return std::chrono::milliseconds(milliseconds);
}

// The two lines a user needs: the address to open, and how to open it from another machine.
std::string startup_lines(const serve::Server& server) {
  const std::string port = std::to_string(server.port());
  const serve::ListenAddress& address = server.address();
  const std::string target = address.wildcard ? "127.0.0.1" : address.url_form();
  return server.url() + "\nssh -N -L " + port + ":" + target + ":" + port + " " + this_host() +
         "\n";
}

Status run_serve(const ServeCommandOptions& options, const CommandContext& context) {
  Result<serve::ListenAddress> address = serve::parse_listen_address(options.host);
  if (!address.ok()) return std::move(address).status();
  serve::ServeOptions serve_options;
  serve_options.address = address.value();
  serve_options.port = options.port.value_or(kDefaultPort);
  serve_options.any_port_if_taken = !options.port.has_value();
  if (std::optional<std::chrono::milliseconds> idle = idle_limit_for_tests()) {
    serve_options.limits.idle = *idle;
  }

  serve::LiveRunSource source(read::find_run_roots(context.roots), kListingInterval,
                              read::system_process_probe());
  Result<std::unique_ptr<serve::Server>> server = serve::Server::open(serve_options, source);
  if (!server.ok()) return std::move(server).status();
  Status started = source.start();
  if (!started.ok()) return started;

  if (!address.value().loopback) {
    (void)std::fprintf(
        stderr,
        "trovik: warning: listening on %s, reachable from other machines; anyone who "
        "learns the URL can read these runs\n",
        address.value().text.c_str());
  }
  write_out(startup_lines(*server.value()));
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    return Status::OSError("cannot print the server's address");
  }
  return server.value()->run();
}

}  // namespace

void register_serve(CLI::App& app, CommandContext& context) {
  auto options = std::make_shared<ServeCommandOptions>();
  CLI::App* serve = app.add_subcommand(
      "serve", "Serve the runs as a live page, private to whoever holds the printed URL");
  serve
      ->add_option("--port", options->port,
                   "TCP port (default 8430, or any free one when it is taken; 0: any free one)")
      ->type_name("N");
  serve
      ->add_option("--host", options->host,
                   "IP address to listen on (default 127.0.0.1; any other is reachable from "
                   "other machines)")
      ->type_name("ADDR");
  serve->callback([options, &context] {
    context.command = [options, &context] { return run_serve(*options, context); };
  });
}

}  // namespace trovik::cli
