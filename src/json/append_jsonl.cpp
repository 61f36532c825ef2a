#include "json/append_jsonl.h"

#include "json/append_line.h"
#include "json/writer.h"

namespace trovik::json {

Status append_jsonl(const std::string& path, const Value& value) {
  // The line is complete before the file is touched, so one write call can carry it whole.
  std::string line;
  line.reserve(256);
  write_json(value, line);
  line.push_back('\n');
  return append_line(path, line);
}

}  // namespace trovik::json
