#include "read/run_facts.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "read/timestamp.h"
#include "util/environment.h"

namespace trovik::read {
namespace {

std::optional<std::string> text_at(const RunSummary& run,
                                   std::initializer_list<std::string_view> keys) {
  const json::Value* value = run.run_start_member(keys);
  if (value == nullptr || value->type() != json::Value::Type::kString) return std::nullopt;
  return value->as_string();
}

std::string local_hostname() {
  if (std::optional<std::string> name = environment_text("HOSTNAME")) return *name;
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// When the process started, in nanoseconds since the epoch, from /proc.
std::optional<int64_t> process_start_ns(int64_t pid) {
  std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat_file, line)) return std::nullopt;
  // The command name may hold spaces and parentheses: the fields after it follow the last ')'.
  const size_t close = line.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  unsigned long long start_ticks = 0;
  // Field 3 (state) is the first after the name; starttime is field 22.
  for (int index = 3; index <= 22 && fields >> field; ++index) {
    if (index == 22) start_ticks = std::stoull(field);
  }
  std::ifstream stat_all("/proc/stat");
  unsigned long long boot_seconds = 0;
  while (std::getline(stat_all, line)) {
    if (line.rfind("btime ", 0) == 0) boot_seconds = std::stoull(line.substr(6));
  }
  const long ticks_per_second = ::sysconf(_SC_CLK_TCK);
  if (boot_seconds == 0 || ticks_per_second <= 0) return std::nullopt;
  return static_cast<int64_t>(boot_seconds) * 1'000'000'000 +
         static_cast<int64_t>(start_ticks) * (1'000'000'000 / ticks_per_second);
}

}  // namespace

std::optional<GitFacts> git_facts(const RunSummary& run) {
  const json::Value* git = run.run_start_member({"git"});
  if (git == nullptr || git->type() != json::Value::Type::kObject) return std::nullopt;
  GitFacts facts;
  if (std::optional<std::string> commit = text_at(run, {"git", "commit"})) facts.commit = *commit;
  if (std::optional<std::string> branch = text_at(run, {"git", "branch"})) facts.branch = *branch;
  const json::Value* dirty = run.run_start_member({"git", "dirty"});
  facts.dirty = dirty != nullptr && dirty->type() == json::Value::Type::kBool && dirty->as_bool();
  return facts;
}

std::optional<std::string> hostname_of(const RunSummary& run) {
  return text_at(run, {"host", "hostname"});
}
std::optional<std::string> username_of(const RunSummary& run) {
  return text_at(run, {"host", "username"});
}
std::optional<std::string> cwd_of(const RunSummary& run) {
  return text_at(run, {"process", "cwd"});
}

std::vector<std::string> argv_of(const RunSummary& run) {
  std::vector<std::string> argv;
  const json::Value* value = run.run_start_member({"process", "argv"});
  if (value == nullptr || value->type() != json::Value::Type::kArray) return argv;
  for (const json::Value& element : value->as_array()) {
    if (element.type() == json::Value::Type::kString) argv.push_back(element.as_string());
  }
  return argv;
}

std::optional<int64_t> pid_of(const RunSummary& run) {
  const json::Value* value = run.run_start_member({"process", "pid"});
  if (value == nullptr || value->type() != json::Value::Type::kUnsigned) return std::nullopt;
  if (value->as_unsigned() == 0 || value->as_unsigned() > INT32_MAX) return std::nullopt;
  return static_cast<int64_t>(value->as_unsigned());
}

std::optional<int64_t> started_ns(const RunSummary& run) { return parse_timestamp(run.created_at); }

bool run_is_live(const RunSummary& run) {
  const std::optional<int64_t> pid = pid_of(run);
  const std::optional<std::string> host = hostname_of(run);
  const std::optional<int64_t> started = started_ns(run);
  if (!pid || !host || !started || *host != local_hostname()) return false;
  if (::kill(static_cast<pid_t>(*pid), 0) != 0 && errno != EPERM) return false;
  // A process id is reused once its process is gone: a process started after the run is another.
  const std::optional<int64_t> process_started = process_start_ns(*pid);
  return process_started && *process_started <= *started + 1'000'000'000;
}

}  // namespace trovik::read
