#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/status.h"

namespace trovik::serve {

// The address the server listens on, as given to --host: an IPv4 or IPv6 address, never a name (a
// name would make the Host check depend on what it resolves to).
struct ListenAddress {
  std::string text;  // canonical form, as inet_ntop writes it: "127.0.0.1", "::1"
  bool ipv6 = false;
  bool loopback = false;  // 127.0.0.0/8 or ::1: only this machine can connect
  bool wildcard = false;  // 0.0.0.0 or ::: every interface

  // The address as it appears in a URL or a Host header: IPv6 in brackets.
  std::string url_form() const { return ipv6 ? "[" + text + "]" : text; }
};

// ValueError when `text` is not an IP address.
Result<ListenAddress> parse_listen_address(std::string_view text);

// The canonical text of an IP address literal (IPv6 without brackets), or "" when `text` is none.
std::string canonical_ip(std::string_view text, bool ipv6);

}  // namespace trovik::serve
