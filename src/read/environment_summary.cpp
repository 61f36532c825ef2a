#include "read/environment_summary.h"

#include "json/writer.h"

namespace trovik::read {
namespace {

const json::Value* member(const json::Value* value, std::string_view key) {
  if (value == nullptr || value->type() != json::Value::Type::kObject) return nullptr;
  return value->as_object().find(key);
}

std::string text_of(const json::Value* value) {
  if (value == nullptr || value->is_null()) return "";
  return value->type() == json::Value::Type::kString ? value->as_string()
                                                     : json::to_json_text(*value);
}

// The texts that are there, joined.
std::string joined(std::initializer_list<std::string> parts, std::string_view separator) {
  std::string text;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!text.empty()) text += separator;
    text += part;
  }
  return text;
}

std::string gpu_text(const json::Value& gpu) {
  std::string details = joined(
      {text_of(member(&gpu, "driver")).empty() ? std::string()
                                               : "driver " + text_of(member(&gpu, "driver")),
       text_of(member(&gpu, "memory_mib")).empty() ? std::string()
                                                   : text_of(member(&gpu, "memory_mib")) + " MiB"},
      ", ");
  std::string text = text_of(member(&gpu, "name"));
  if (text.empty()) text = "?";
  return details.empty() ? text : text + " (" + details + ")";
}

}  // namespace

std::vector<std::pair<std::string, std::string>> environment_facts(const json::Value& environment) {
  std::vector<std::pair<std::string, std::string>> facts;
  auto add = [&](std::string label, std::string text) {
    if (!text.empty()) facts.emplace_back(std::move(label), std::move(text));
  };
  const json::Value* python = member(&environment, "python");
  add("python",
      joined({text_of(member(python, "version")), text_of(member(python, "implementation")),
              text_of(member(python, "executable"))},
             " "));
  const json::Value* platform = member(&environment, "platform");
  add("platform", joined({text_of(member(platform, "distribution")),
                          text_of(member(platform, "kernel")).empty()
                              ? std::string()
                              : "kernel " + text_of(member(platform, "kernel")),
                          text_of(member(platform, "libc"))},
                         ", "));
  const json::Value* packages = member(&environment, "packages");
  if (packages != nullptr && packages->type() == json::Value::Type::kObject) {
    std::string text = std::to_string(packages->as_object().size());
    const std::map<std::string, std::string, std::less<>> editable =
        environment_entries(environment, "editable_packages");
    if (!editable.empty()) {
      text += " (editable:";
      for (const auto& [name, location] : editable) {
        text.append(" ").append(name).append(" at ").append(location);
      }
      text += ")";
    }
    add("packages", text);
  }
  const json::Value* gpus = member(&environment, "gpus");
  if (gpus != nullptr && gpus->type() == json::Value::Type::kArray) {
    std::string text;
    for (const json::Value& gpu : gpus->as_array())
      text += (text.empty() ? "" : "; ") + gpu_text(gpu);
    add("gpus", text.empty() ? "none" : text);
  }
  std::string variables;
  for (const auto& [name, value] : environment_entries(environment, "variables")) {
    variables.append(variables.empty() ? "" : " ").append(name).append("=").append(value);
  }
  add("variables", variables);
  return facts;
}

std::map<std::string, std::string, std::less<>> environment_entries(const json::Value& environment,
                                                                    std::string_view name) {
  std::map<std::string, std::string, std::less<>> entries;
  const json::Value* object = member(&environment, name);
  if (object == nullptr || object->type() != json::Value::Type::kObject) return entries;
  for (const auto& [key, value] : object->as_object()) entries.emplace(key, text_of(&value));
  return entries;
}

}  // namespace trovik::read
