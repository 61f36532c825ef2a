#include "serve/listen_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace trovik::serve {

std::string canonical_ip(std::string_view text, bool ipv6) {
  // inet_pton reads a C string; a literal longer than any address is none.
  if (text.size() >= INET6_ADDRSTRLEN) return {};
  char literal[INET6_ADDRSTRLEN] = {};
  std::memcpy(literal, text.data(), text.size());
  unsigned char bytes[sizeof(in6_addr)] = {};
  const int family = ipv6 ? AF_INET6 : AF_INET;
  if (::inet_pton(family, literal, bytes) != 1) return {};
  char canonical[INET6_ADDRSTRLEN] = {};
  if (::inet_ntop(family, bytes, canonical, sizeof canonical) == nullptr) return {};
  return canonical;
}

Result<ListenAddress> parse_listen_address(std::string_view text) {
  ListenAddress address;
  address.ipv6 = text.find(':') != std::string_view::npos;
  address.text = canonical_ip(text, address.ipv6);
  if (address.text.empty()) {
    return Status::ValueError("--host takes an IP address such as 127.0.0.1 or ::1, not '" +
                              std::string(text) + "'");
  }
  if (address.ipv6) {
    in6_addr bytes{};
    (void)::inet_pton(AF_INET6, address.text.c_str(), &bytes);
    address.loopback = IN6_IS_ADDR_LOOPBACK(&bytes) != 0;
    address.wildcard = IN6_IS_ADDR_UNSPECIFIED(&bytes) != 0;
  } else {
    address.loopback = address.text.rfind("127.", 0) == 0;
    address.wildcard = address.text == "0.0.0.0";
  }
  return address;
}

}  // namespace trovik::serve
