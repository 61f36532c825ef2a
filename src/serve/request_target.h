#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trovik::serve {

// A request target taken apart: "/path?key=value&key=value". Views into the request.
struct RequestTarget {
  std::string_view path;
  std::vector<std::pair<std::string_view, std::string_view>> query;

  // The first value given for `key`.
  std::optional<std::string_view> value(std::string_view key) const;
  // The target again without any `key` parameter: where to send a browser instead.
  std::string without(std::string_view key) const;
};

// The query's parameters without judging them: enough to find the token in any target.
std::vector<std::pair<std::string_view, std::string_view>> query_parameters(
    std::string_view target);

// The target when it is one this server could ever answer: an absolute path of letters, digits and
// "-._~/" (nothing percent-encoded, no "." or ".." segment, no empty segment) and a query of such
// parameters. Nothing else is decoded or interpreted, so no spelling of a path can mean another.
std::optional<RequestTarget> parse_request_target(std::string_view target);

}  // namespace trovik::serve
