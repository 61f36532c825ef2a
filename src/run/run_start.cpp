#include "run/run_start.h"

#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "git/command_runner.h"
#include "git/probe.h"
#include "json/writer.h"
#include "run/envelope.h"
#include "run/host_facts.h"
#include "util/environment.h"
#include "util/working_directory.h"

namespace trovik::run {
namespace {

json::Value optional_string(std::optional<std::string> text) {
  return text ? json::Value::string(std::move(*text)) : json::Value::null();
}

json::Value git_value(const std::optional<git::RepositoryState>& state) {
  if (!state) return json::Value::null();
  json::Object git;
  git.insert("commit", json::Value::string(state->commit));
  git.insert("branch", json::Value::string(state->branch));
  git.insert("dirty", json::Value::boolean(state->dirty));
  return json::Value::object(std::move(git));
}

// HOSTNAME when it qualifies (even empty); otherwise the hostname program, run only now, after
// every git command.
std::optional<std::string> host_name() {
  if (auto from_environment = environment_text("HOSTNAME")) return from_environment;
  return git::command_output("hostname", {});
}

std::optional<std::string> user_name() {
  if (auto user = environment_text("USER")) return user;
  return environment_text("USERNAME");
}

// The machine the module was built for; a wheel is built per machine, so this is where it runs.
#if defined(__aarch64__)
constexpr char kArchitecture[] = "aarch64";
#else
constexpr char kArchitecture[] = "x86_64";
#endif

}  // namespace

Status write_run_start(const Run& run, std::optional<json::Value> metadata) {
  // The working directory and the arguments are read before any child process starts.
  std::optional<std::string> cwd = working_directory_text();
  std::vector<std::string> arguments = process_arguments();
  json::Value git = git_value(git::probe_repository(run.run_id));

  json::Object host;
  host.insert("hostname", optional_string(host_name()));
  host.insert("os", json::Value::string("linux"));
  host.insert("arch", json::Value::string(kArchitecture));
  host.insert("username", optional_string(user_name()));
  std::optional<uint64_t> cpus = processor_count();
  host.insert("cpu_count", cpus ? json::Value::unsigned_integer(*cpus) : json::Value::null());

  json::Array argv;
  argv.reserve(arguments.size());
  for (auto& argument : arguments) argv.push_back(json::Value::string(std::move(argument)));
  json::Object process;
  process.insert("cwd", optional_string(std::move(cwd)));
  process.insert("argv", json::Value::array(std::move(argv)));
  process.insert("pid", json::Value::unsigned_integer(static_cast<uint64_t>(::getpid())));
  process.insert("ppid", json::Value::unsigned_integer(static_cast<uint64_t>(::getppid())));

  json::Object start;
  start.insert("git", std::move(git));
  start.insert("host", json::Value::object(std::move(host)));
  start.insert("process", json::Value::object(std::move(process)));
  if (metadata) start.insert("metadata", std::move(*metadata));
  return append_record(run, "run_start", json::to_json_text(json::Value::object(std::move(start))),
                       std::nullopt);
}

}  // namespace trovik::run
