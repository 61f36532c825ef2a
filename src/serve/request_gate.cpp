#include "serve/request_gate.h"

#include "serve/host_check.h"

namespace trovik::serve {
namespace {

constexpr std::string_view kTokenParameter = "token";

GateVerdict refuse(http::status status) {
  GateVerdict verdict;
  verdict.status = status;
  return verdict;
}

std::string_view trim_spaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string_view cookie_value(const std::vector<std::string_view>& cookie_fields,
                              std::string_view name) {
  for (std::string_view field : cookie_fields) {
    while (!field.empty()) {
      const size_t semicolon = field.find(';');
      const std::string_view pair = trim_spaces(field.substr(0, semicolon));
      const size_t equals = pair.find('=');
      if (equals != std::string_view::npos && trim_spaces(pair.substr(0, equals)) == name) {
        return trim_spaces(pair.substr(equals + 1));
      }
      if (semicolon == std::string_view::npos) break;
      field.remove_prefix(semicolon + 1);
    }
  }
  return {};
}

GateVerdict check_request(const RequestFacts& request, const GateSettings& settings) {
  const ServerLimits& limits = settings.limits;
  if (request.field_count > limits.header_fields) {
    return refuse(http::status::request_header_fields_too_large);
  }
  if (request.target.size() > limits.target_bytes) return refuse(http::status::uri_too_long);
  if (request.has_body) return refuse(http::status::payload_too_large);

  if (request.hosts.size() != 1 ||
      !host_is_allowed(request.hosts.front(), settings.address, settings.port)) {
    return refuse(http::status::forbidden);
  }

  bool url_token_valid = false;
  bool url_has_token = false;
  for (const auto& [name, text] : query_parameters(request.target)) {
    if (name != kTokenParameter) continue;
    url_has_token = true;
    url_token_valid = url_token_valid || settings.token.matches(text);
  }
  const bool cookie_valid =
      settings.token.matches(cookie_value(request.cookies, settings.cookie_name()));
  if (!url_token_valid && !cookie_valid) return refuse(http::status::forbidden);

  if (request.method != http::verb::get && request.method != http::verb::head) {
    return refuse(http::status::method_not_allowed);
  }
  std::optional<RequestTarget> target = parse_request_target(request.target);
  if (!target) return refuse(http::status::bad_request);

  GateVerdict verdict;
  verdict.head = request.method == http::verb::head;
  if (url_has_token) {
    verdict.outcome = GateVerdict::Outcome::kRedirected;
    verdict.status = http::status::see_other;
    verdict.location = target->without(kTokenParameter);
    verdict.set_cookie = url_token_valid;
    return verdict;
  }
  verdict.outcome = GateVerdict::Outcome::kAdmitted;
  verdict.status = http::status::ok;
  verdict.target = std::move(*target);
  return verdict;
}

}  // namespace trovik::serve
