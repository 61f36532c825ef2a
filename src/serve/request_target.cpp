#include "serve/request_target.h"

namespace trovik::serve {
namespace {

bool is_plain(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

bool is_plain_text(std::string_view text) {
  for (char c : text) {
    if (!is_plain(c)) return false;
  }
  return true;
}

bool is_plain_path(std::string_view path) {
  if (path.empty() || path.front() != '/') return false;
  if (path == "/") return true;
  size_t start = 1;
  for (;;) {
    const size_t end = path.find('/', start);
    const std::string_view segment = path.substr(start, end - start);
    if (segment.empty() || segment == "." || segment == ".." || !is_plain_text(segment)) {
      return false;
    }
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

}  // namespace

std::optional<std::string_view> RequestTarget::value(std::string_view key) const {
  for (const auto& [name, text] : query) {
    if (name == key) return text;
  }
  return std::nullopt;
}

std::string RequestTarget::without(std::string_view key) const {
  std::string target(path);
  char separator = '?';
  for (const auto& [name, text] : query) {
    if (name == key) continue;
    target += separator;
    target += name;
    target += '=';
    target += text;
    separator = '&';
  }
  return target;
}

std::vector<std::pair<std::string_view, std::string_view>> query_parameters(
    std::string_view target) {
  std::vector<std::pair<std::string_view, std::string_view>> parameters;
  const size_t question = target.find('?');
  if (question == std::string_view::npos) return parameters;
  std::string_view rest = target.substr(question + 1);
  while (!rest.empty()) {
    const size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    const size_t equals = pair.find('=');
    if (equals == std::string_view::npos) {
      parameters.emplace_back(pair, std::string_view());
    } else {
      parameters.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
    }
    if (amp == std::string_view::npos) break;
    rest = rest.substr(amp + 1);
  }
  return parameters;
}

std::optional<RequestTarget> parse_request_target(std::string_view target) {
  RequestTarget parsed;
  const size_t question = target.find('?');
  parsed.path = target.substr(0, question);
  if (!is_plain_path(parsed.path)) return std::nullopt;
  parsed.query = query_parameters(target);
  for (const auto& [name, text] : parsed.query) {
    if (name.empty() || !is_plain_text(name) || !is_plain_text(text)) return std::nullopt;
  }
  return parsed;
}

}  // namespace trovik::serve
