#pragma once

#include <cstdint>

#include "serve/listen_address.h"
#include "util/scoped_fd.h"
#include "util/status.h"

namespace trovik::serve {

struct ListeningSocket {
  ScopedFd fd;  // non-blocking, close-on-exec
  uint16_t port = 0;
};

// A TCP socket listening on `address` and `port` (0: any free port). When the port is taken and
// `any_port_if_taken` is set, any free port instead. Asio's own sockets are not close-on-exec, so
// the server makes its descriptors here and hands them over.
Result<ListeningSocket> open_listening_socket(const ListenAddress& address, uint16_t port,
                                              bool any_port_if_taken);

// The next waiting connection, non-blocking and close-on-exec; -1 with errno as accept4 sets it
// (EAGAIN when none is waiting).
int accept_connection(int listening_fd);

}  // namespace trovik::serve
