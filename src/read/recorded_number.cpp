#include "read/recorded_number.h"

#include "json/reader.h"

namespace trovik::read {

json::Value recorded_number(std::string_view token, double value) {
  if (!token.empty()) {
    Result<json::Value> read = json::read_json(token);
    if (read.ok()) return std::move(read).value();
  }
  return json::Value::number(value);
}

}  // namespace trovik::read
