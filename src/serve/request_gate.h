#pragma once

#include <boost/beast/http/status.hpp>
#include <boost/beast/http/verb.hpp>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "serve/access_token.h"
#include "serve/listen_address.h"
#include "serve/request_target.h"
#include "serve/server_limits.h"

namespace trovik::serve {

namespace http = boost::beast::http;

// What the gate needs to know about this server.
struct GateSettings {
  AccessToken token;
  ListenAddress address;
  uint16_t port = 0;
  ServerLimits limits;

  // The cookie that carries the token. Browsers send a cookie to every port of a host, so the name
  // holds the port: two servers on one machine keep their cookies apart.
  std::string cookie_name() const { return "trovik-" + std::to_string(port); }
};

// A request head as the parser saw it: views into the request, valid while it lives.
struct RequestFacts {
  http::verb method = http::verb::unknown;
  std::string_view target;
  std::vector<std::string_view> hosts;    // every Host field
  std::vector<std::string_view> cookies;  // every Cookie field
  size_t field_count = 0;
  bool has_body = false;  // a non-zero Content-Length, or any Transfer-Encoding
};

// The gate's decision. Refused: `status` says why, and the connection is closed after it, since the
// rest of a refused request is never read. Redirected: the token came in the URL; the response sets
// the cookie and sends the browser to `location`, the same target without it, so the token leaves
// the address bar and the history. Admitted: `target` is ready for routing.
struct GateVerdict {
  enum class Outcome { kRefused, kRedirected, kAdmitted };
  Outcome outcome = Outcome::kRefused;
  http::status status = http::status::forbidden;
  std::string location;
  bool set_cookie = false;
  RequestTarget target;
  bool head = false;  // HEAD: the same answer as GET without its body
};

// The one check every request passes before any route sees it, in this order: the limits on its
// shape (431, 414, 413), the Host header (403), the token from the URL or the cookie (403), the
// method (405: only GET and HEAD), the form of its target (400).
GateVerdict check_request(const RequestFacts& request, const GateSettings& settings);

// The token from the server's cookie among a request's Cookie fields ("a=1; trovik-8430=...").
std::string_view cookie_value(const std::vector<std::string_view>& cookie_fields,
                              std::string_view name);

}  // namespace trovik::serve
