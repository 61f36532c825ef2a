#pragma once

#include <cstdint>
#include <string_view>

#include "serve/listen_address.h"

namespace trovik::serve {

// Whether a request's Host header names this server: localhost, 127.0.0.1 or the address it
// listens on, with its port (which may be left out only when it is 80). Through DNS rebinding a web
// page can make the browser send a request here under the page's own domain name; the Host header
// still carries that name, so refusing every name but localhost refuses such a page. A server on
// every interface (0.0.0.0, ::) accepts any address literal, since no name was ever resolved.
bool host_is_allowed(std::string_view host, const ListenAddress& address, uint16_t port);

}  // namespace trovik::serve
