#include "read/record_text.h"

#include "json/reader.h"
#include "json/writer.h"
#include "read/environment_summary.h"
#include "read/run_ending.h"
#include "read/short_names.h"
#include "read/text_format.h"
#include "read/timestamp.h"
#include "util/quote.h"

namespace trovik::read {
namespace {

const json::Value* member(const json::Value& value, std::string_view key) {
  return value.type() == json::Value::Type::kObject ? value.as_object().find(key) : nullptr;
}

std::string text_of(const json::Value* value) {
  return value != nullptr && value->type() == json::Value::Type::kString ? value->as_string() : "";
}

std::string run_start_gist(const json::Value& record, const json::Value* value) {
  std::string gist = text_of(member(record, "experiment_name"));
  if (value == nullptr) return gist;
  if (const json::Value* git = member(*value, "git"); git != nullptr && !git->is_null()) {
    const json::Value* dirty = member(*git, "dirty");
    gist += "  git " + short_commit(text_of(member(*git, "commit")));
    const std::string branch = text_of(member(*git, "branch"));
    if (!branch.empty()) gist += " " + branch;
    if (dirty != nullptr && dirty->type() == json::Value::Type::kBool && dirty->as_bool()) {
      gist += "*";
    }
  }
  if (const json::Value* host = member(*value, "host")) {
    const std::string hostname = text_of(member(*host, "hostname"));
    if (!hostname.empty()) gist += "  host " + hostname;
  }
  if (const json::Value* metadata = member(*value, "metadata")) {
    gist += "  " + json::to_json_text(*metadata);
  }
  return gist;
}

// How the run ended, on one line: "failed  RuntimeError: boom  1.20 s user, ... peak memory".
std::string run_end_gist(const json::Value* value) {
  if (value == nullptr) return "";
  const RunEnding ending = run_ending(*value);
  std::string gist = ending.status.empty() ? "?" : ending.status;
  if (const std::optional<std::string> exception = exception_text(ending)) {
    gist += "  " + *exception;
  }
  if (const std::optional<std::string> resources = resources_text(ending)) {
    gist += "  " + *resources;
  }
  // A message may span lines: shown escaped, the record stays one line.
  return terminal_quoted(gist);
}

std::string environment_gist(const json::Value* value) {
  if (value == nullptr) return "";
  std::string gist;
  for (const auto& [label, text] : environment_facts(*value)) {
    if (label == "variables" || label == "platform") continue;
    gist.append(gist.empty() ? "" : "  ").append(label).append(" ").append(text);
  }
  return terminal_quoted(gist);
}

std::string value_gist(const json::Value* value) {
  if (value == nullptr) return "";
  if (value->type() != json::Value::Type::kObject) return cell_text(*value);
  std::string gist;
  for (const auto& [key, member_value] : value->as_object()) {
    if (!gist.empty()) gist += ' ';
    gist +=
        key + "=" +
        (member_value.type() == json::Value::Type::kDouble ? format_number(member_value.as_double())
                                                           : json::to_json_text(member_value));
  }
  return gist;
}

}  // namespace

std::optional<std::string> record_text(std::string_view line) {
  Result<json::Value> record = json::read_json(line);
  if (!record.ok() || record.value().type() != json::Value::Type::kObject) return std::nullopt;
  const json::Value& r = record.value();
  std::string text = "+";
  const json::Value* elapsed = member(r, "elapsed_ms");
  text += elapsed != nullptr && elapsed->type() == json::Value::Type::kUnsigned
              ? format_duration_ms(elapsed->as_unsigned())
              : "?";
  if (text.size() < 9) text.resize(9, ' ');
  const std::string kind = text_of(member(r, "kind"));
  text += "  " + (kind.empty() ? std::string("?") : kind) + "  ";
  const json::Value* value = member(r, "value");
  if (kind == "run_start") {
    text += run_start_gist(r, value);
  } else if (kind == "run_end") {
    text += run_end_gist(value);
  } else if (kind == "environment") {
    text += environment_gist(value);
  } else {
    text += value_gist(value);
  }
  if (const json::Value* note = member(r, "note"); note != nullptr) {
    text += "  # " + text_of(note);
  }
  return text;
}

}  // namespace trovik::read
