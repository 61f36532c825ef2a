#include "run/run_end.h"

#include <sys/resource.h>

#include <string_view>
#include <utility>

#include "json/writer.h"
#include "run/envelope.h"
#include "util/unicode.h"

namespace trovik::run {
namespace {

const char* status_text(RunEnding ending) {
  switch (ending) {
    case RunEnding::kCompleted:
      return "completed";
    case RunEnding::kInterrupted:
      return "interrupted";
    case RunEnding::kFailed:
      break;
  }
  return "failed";
}

// One division of an exact count of microseconds: the nearest double to the decimal reading, so
// its shortest form is the reading's own digits.
double seconds(const timeval& time) {
  const auto micros = static_cast<int64_t>(time.tv_sec) * 1000000 + time.tv_usec;
  return static_cast<double>(micros) / 1e6;
}

json::Value exception_value(const EndException& exception) {
  json::Object value;
  value.insert("type", json::Value::string(exception.type));
  value.insert("message", json::Value::string(
                              std::string(utf8_head(exception.message, kMaxExceptionMessage))));
  value.insert("traceback", exception.traceback ? json::Value::string(std::string(utf8_tail(
                                                      *exception.traceback, kMaxTraceback)))
                                                : json::Value::null());
  return json::Value::object(std::move(value));
}

}  // namespace

ProcessResources process_resources() {
  rusage usage{};
  // Cannot fail for RUSAGE_SELF with a valid buffer; zeros would only understate the cost.
  ::getrusage(RUSAGE_SELF, &usage);
  ProcessResources resources;
  resources.cpu_user_s = seconds(usage.ru_utime);
  resources.cpu_system_s = seconds(usage.ru_stime);
  // Linux counts the peak resident set in KiB.
  resources.max_rss_bytes = static_cast<uint64_t>(usage.ru_maxrss) * 1024;
  return resources;
}

json::Value run_end_value(RunEnding ending, const std::optional<EndException>& exception,
                          const ProcessResources& resources) {
  json::Object used;
  used.insert("cpu_user_s", json::Value::number(resources.cpu_user_s));
  used.insert("cpu_system_s", json::Value::number(resources.cpu_system_s));
  used.insert("max_rss_bytes", json::Value::unsigned_integer(resources.max_rss_bytes));

  json::Object value;
  value.insert("status", json::Value::string(status_text(ending)));
  value.insert("exception", exception ? exception_value(*exception) : json::Value::null());
  value.insert("resources", json::Value::object(std::move(used)));
  return json::Value::object(std::move(value));
}

Status append_run_end(const Run& run, RunEnding ending,
                      const std::optional<EndException>& exception) {
  const json::Value value = run_end_value(ending, exception, process_resources());
  return append_record(run, "run_end", json::to_json_text(value), std::nullopt);
}

}  // namespace trovik::run
