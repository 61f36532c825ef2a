#include "read/run_ending.h"

#include <cstdio>

namespace trovik::read {
namespace {

const json::Value* member(const json::Value* value, std::string_view key) {
  if (value == nullptr || value->type() != json::Value::Type::kObject) return nullptr;
  return value->as_object().find(key);
}

std::optional<std::string> text_of(const json::Value* value) {
  if (value == nullptr || value->type() != json::Value::Type::kString) return std::nullopt;
  return value->as_string();
}

std::optional<double> number_of(const json::Value* value) {
  if (value == nullptr) return std::nullopt;
  switch (value->type()) {
    case json::Value::Type::kUnsigned:
      return static_cast<double>(value->as_unsigned());
    case json::Value::Type::kDouble:
      return value->as_double();
    default:
      return std::nullopt;
  }
}

std::string fixed(double value, const char* format) {
  char text[64];
  (void)std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string memory_text(uint64_t bytes) {
  constexpr double kMiB = 1024.0 * 1024.0;
  const double mib = static_cast<double>(bytes) / kMiB;
  return mib >= 1024 ? fixed(mib / 1024, "%.1f GiB") : fixed(mib, "%.0f MiB");
}

}  // namespace

RunEnding run_ending(const json::Value& run_end) {
  RunEnding ending;
  ending.status = text_of(member(&run_end, "status")).value_or("");
  const json::Value* exception = member(&run_end, "exception");
  ending.exception_type = text_of(member(exception, "type"));
  ending.exception_message = text_of(member(exception, "message"));
  ending.traceback = text_of(member(exception, "traceback"));
  const json::Value* resources = member(&run_end, "resources");
  ending.cpu_user_s = number_of(member(resources, "cpu_user_s"));
  ending.cpu_system_s = number_of(member(resources, "cpu_system_s"));
  const json::Value* rss = member(resources, "max_rss_bytes");
  if (rss != nullptr && rss->type() == json::Value::Type::kUnsigned) {
    ending.max_rss_bytes = rss->as_unsigned();
  }
  return ending;
}

std::optional<std::string> exception_text(const RunEnding& ending) {
  if (!ending.exception_type) return std::nullopt;
  std::string text = *ending.exception_type;
  if (ending.exception_message && !ending.exception_message->empty()) {
    text += ": " + *ending.exception_message;
  }
  return text;
}

std::optional<std::string> resources_text(const RunEnding& ending) {
  std::string text;
  auto add = [&](const std::string& part) { text += (text.empty() ? "" : ", ") + part; };
  if (ending.cpu_user_s) add(fixed(*ending.cpu_user_s, "%.2f s user"));
  if (ending.cpu_system_s) {
    add(fixed(*ending.cpu_system_s, ending.cpu_user_s ? "%.2f s system CPU" : "%.2f s system"));
  } else if (ending.cpu_user_s) {
    text += " CPU";
  }
  if (ending.max_rss_bytes) add(memory_text(*ending.max_rss_bytes) + " peak memory");
  if (text.empty()) return std::nullopt;
  return text;
}

size_t line_count(std::string_view text) {
  if (text.empty()) return 0;
  size_t count = 0;
  for (const char c : text) count += c == '\n';
  return count + (text.back() == '\n' ? 0 : 1);
}

std::string_view last_lines(std::string_view text, size_t count) {
  // A final line feed ends the last line; it does not begin another.
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  if (count == 0) return text.substr(text.size());
  size_t feed = text.size();  // the line feed before the lines taken so far
  for (size_t lines = 0; lines < count; ++lines) {
    feed = feed == 0 ? std::string_view::npos : text.rfind('\n', feed - 1);
    if (feed == std::string_view::npos) return text;
  }
  return text.substr(feed + 1);
}

}  // namespace trovik::read
