// Whatever the reader accepts, the writer's text of it is accepted again, reads back as the same
// value (doubles bit for bit, integers in the same form) and writes the same text again. Whatever
// it refuses, it refuses with a ValueError whose position lies inside the text. The canonical
// writer, which never builds the value, appends the same bytes as writing the value, or fails with
// the same error and leaves its buffer alone.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "json/canonical_json.h"
#include "json/reader.h"
#include "json/writer.h"

namespace {

using trovik::json::Value;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "reader_fuzz: %s\n", what);
  std::abort();
}

bool same(const Value& a, const Value& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Value::Type::kNull:
      return true;
    case Value::Type::kBool:
      return a.as_bool() == b.as_bool();
    case Value::Type::kUnsigned:
      return a.as_unsigned() == b.as_unsigned();
    case Value::Type::kNegative:
      return a.as_negative() < 0 && a.as_negative() == b.as_negative();
    case Value::Type::kDouble: {
      const double x = a.as_double();
      const double y = b.as_double();
      return __builtin_isfinite(x) && std::memcmp(&x, &y, sizeof x) == 0;
    }
    case Value::Type::kBigInteger:
      return a.as_big_integer() == b.as_big_integer();
    case Value::Type::kString:
      return a.as_string() == b.as_string();
    case Value::Type::kArray: {
      const auto& x = a.as_array();
      const auto& y = b.as_array();
      if (x.size() != y.size()) return false;
      for (size_t i = 0; i < x.size(); ++i) {
        if (!same(x[i], y[i])) return false;
      }
      return true;
    }
    case Value::Type::kObject: {
      const auto& x = a.as_object();
      const auto& y = b.as_object();
      if (x.size() != y.size()) return false;
      const std::string* previous = nullptr;
      for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
        if (i->first != j->first || !same(i->second, j->second)) return false;
        if (previous != nullptr && !(*previous < i->first)) return false;
        previous = &i->first;
      }
      return true;
    }
  }
  return false;
}

// The message ends in " at line L column C" with L within the text's lines and C within L.
void check_error(std::string_view text, const trovik::Status& status) {
  if (status.kind() != trovik::ErrorKind::kValueError) fail("error is not a ValueError");
  const std::string& message = status.message();
  const size_t at = message.rfind(" at line ");
  const size_t column_at = message.rfind(" column ");
  if (at == std::string::npos || column_at == std::string::npos || column_at < at) {
    fail("error without position");
  }
  const unsigned long line = std::strtoul(message.c_str() + at + 9, nullptr, 10);
  const unsigned long column = std::strtoul(message.c_str() + column_at + 8, nullptr, 10);
  size_t line_start = 0;
  for (unsigned long l = 1; l < line; ++l) {
    const size_t feed = text.find('\n', line_start);
    if (feed == std::string_view::npos) fail("error line beyond the text");
    line_start = feed + 1;
  }
  if (line == 0 || line_start + column > text.size()) fail("error column beyond the text");
  if (column == 0 && line_start != text.size() && line == 1) fail("column 0 before the end");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  trovik::Result<Value> first = trovik::json::read_json(text);
  const std::string kept = "[0,";
  std::string canonical = kept;
  const trovik::Status streamed = trovik::json::write_canonical_json(text, canonical);
  if (!first.ok()) {
    check_error(text, first.status());
    if (streamed.ok()) fail("canonical writer accepts what the reader refuses");
    if (streamed.kind() != first.status().kind() ||
        streamed.message() != first.status().message()) {
      fail("canonical writer fails differently");
    }
    if (canonical != kept) fail("canonical writer changed its buffer on failure");
    return 0;
  }
  const std::string written = trovik::json::to_json_text(first.value());
  if (!streamed.ok()) fail("canonical writer refuses what the reader accepts");
  if (canonical != kept + written) fail("canonical writer differs from writing the value");
  trovik::Result<Value> second = trovik::json::read_json(written);
  if (!second.ok()) fail("written text is refused");
  if (!same(first.value(), second.value())) fail("written text reads back differently");
  if (trovik::json::to_json_text(second.value()) != written) fail("writing is not stable");
  if (written.find('\n') != std::string::npos) fail("written text holds a line feed");
  return 0;
}
