#include "serve/host_check.h"

#include <string>

namespace trovik::serve {
namespace {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool port_matches(std::string_view text, uint16_t port) { return text == std::to_string(port); }

}  // namespace

bool host_is_allowed(std::string_view host, const ListenAddress& address, uint16_t port) {
  // Split "name:port", "[v6]:port", or either without its port.
  std::string_view name = host;
  std::string_view port_text;
  bool bracketed = false;
  if (!host.empty() && host.front() == '[') {
    const size_t close = host.find(']');
    if (close == std::string_view::npos) return false;
    name = host.substr(1, close - 1);
    bracketed = true;
    std::string_view rest = host.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      port_text = rest.substr(1);
    }
  } else if (const size_t colon = host.rfind(':'); colon != std::string_view::npos) {
    name = host.substr(0, colon);
    port_text = host.substr(colon + 1);
  }
  if (port_text.empty() ? port != 80 : !port_matches(port_text, port)) return false;

  if (!bracketed && equals_ignoring_case(name, "localhost")) return true;
  const std::string literal = canonical_ip(name, bracketed);
  if (literal.empty()) return false;
  if (address.wildcard || literal == address.text) return true;
  return !bracketed && literal == "127.0.0.1";
}

}  // namespace trovik::serve
