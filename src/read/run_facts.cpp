#include "read/run_facts.h"

#include "read/timestamp.h"

namespace trovik::read {
namespace {

constexpr int64_t kNsPerSecond = 1'000'000'000;

const json::Value* member_at(const json::Value* value,
                             std::initializer_list<std::string_view> keys) {
  for (std::string_view key : keys) {
    if (value == nullptr || value->type() != json::Value::Type::kObject) return nullptr;
    value = value->as_object().find(key);
  }
  return value;
}

std::optional<std::string> text_of(const json::Value* value) {
  if (value == nullptr || value->type() != json::Value::Type::kString) return std::nullopt;
  return value->as_string();
}

std::optional<std::string> text_at(const RunSummary& run,
                                   std::initializer_list<std::string_view> keys) {
  return text_of(run.run_start_member(keys));
}

std::optional<int64_t> pid_in(const json::Value* value) {
  if (value == nullptr || value->type() != json::Value::Type::kUnsigned) return std::nullopt;
  if (value->as_unsigned() == 0 || value->as_unsigned() > INT32_MAX) return std::nullopt;
  return static_cast<int64_t>(value->as_unsigned());
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
  return pid_in(run.run_start_member({"process", "pid"}));
}

std::optional<int64_t> started_ns(const RunSummary& run) { return parse_timestamp(run.created_at); }

std::vector<std::pair<std::string_view, const json::Value*>> metadata_values(
    const RunSummary& run) {
  std::vector<std::pair<std::string_view, const json::Value*>> values;
  const json::Value* metadata = run.run_start_member({"metadata"});
  if (metadata == nullptr) return values;
  if (metadata->type() != json::Value::Type::kObject) {
    values.emplace_back("metadata", metadata);
    return values;
  }
  for (const auto& [key, value] : metadata->as_object()) values.emplace_back(key, &value);
  return values;
}

RecordedProcess recorded_process(const RunSummary& run) {
  if (!run.run_start) return {};
  return recorded_process(*run.run_start, run.created_at);
}

RecordedProcess recorded_process(const json::Value& run_start, std::string_view created_at) {
  return RecordedProcess{text_of(member_at(&run_start, {"host", "hostname"})),
                         pid_in(member_at(&run_start, {"process", "pid"})),
                         parse_timestamp(created_at)};
}

Liveness liveness_of(const RecordedProcess& process, const ProcessProbe& probe) {
  if (!process.pid || !process.host || !process.started_ns) return Liveness::kUnknown;
  if (*process.host != probe.host_name()) return Liveness::kOtherHost;
  if (!probe.process_exists(*process.pid)) return Liveness::kGone;
  // A process started after the run is another one that was given the same id; the second of
  // slack covers the clock ticks /proc counts a start in.
  const std::optional<int64_t> process_started = probe.process_started_ns(*process.pid);
  return process_started && *process_started <= *process.started_ns + kNsPerSecond
             ? Liveness::kRunning
             : Liveness::kGone;
}

RunFacts run_facts(const RunSummary& run, const ProcessProbe& probe) {
  RunFacts facts;
  facts.has_run_start = run.run_start.has_value();
  facts.host = hostname_of(run);
  facts.user = username_of(run);
  facts.argv = argv_of(run);
  facts.cwd = cwd_of(run);
  facts.started_ns = started_ns(run);
  facts.elapsed_ms = run.elapsed_ms;
  facts.records = run.records;
  facts.bad_lines = run.bad_lines;
  facts.torn = run.torn;
  facts.git = git_facts(run);
  facts.live = is_live(recorded_process(run), probe);
  return facts;
}

}  // namespace trovik::read
