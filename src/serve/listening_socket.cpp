#include "serve/listening_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <string>

#include "util/os_error.h"
#include "util/system_calls.h"

namespace trovik::serve {
namespace {

// The kernel caps this at net.core.somaxconn.
constexpr int kBacklog = 128;

struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;
};

SocketAddress socket_address(const ListenAddress& address, uint16_t port) {
  SocketAddress result;
  if (address.ipv6) {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&result.storage);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    (void)::inet_pton(AF_INET6, address.text.c_str(), &v6->sin6_addr);
    result.length = sizeof(sockaddr_in6);
  } else {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&result.storage);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    (void)::inet_pton(AF_INET, address.text.c_str(), &v4->sin_addr);
    result.length = sizeof(sockaddr_in);
  }
  return result;
}

Status listen_failure(const ListenAddress& address, uint16_t port, int error_number) {
  return Status::OSError("cannot listen on " + address.url_form() + ":" + std::to_string(port) +
                         ": " + os_error_text(error_number));
}

int bind_port(int fd, const ListenAddress& address, uint16_t port) {
  const SocketAddress bound = socket_address(address, port);
  return sys_bind(fd, reinterpret_cast<const sockaddr*>(&bound.storage), bound.length);
}

}  // namespace

Result<ListeningSocket> open_listening_socket(const ListenAddress& address, uint16_t port,
                                              bool any_port_if_taken) {
  ListeningSocket result;
  result.fd.reset(
      sys_socket(address.ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!result.fd.valid()) return listen_failure(address, port, errno);
  // A restarted server takes its port back while the last one's connections are in TIME_WAIT.
  const int on = 1;
  (void)::setsockopt(result.fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (bind_port(result.fd.get(), address, port) != 0) {
    const int error_number = errno;
    if (error_number != EADDRINUSE || !any_port_if_taken ||
        bind_port(result.fd.get(), address, 0) != 0) {
      return listen_failure(address, port, error_number);
    }
  }
  if (sys_listen(result.fd.get(), kBacklog) != 0) return listen_failure(address, port, errno);
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (::getsockname(result.fd.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    return listen_failure(address, port, errno);
  }
  result.port = ntohs(address.ipv6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                   : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
  return result;
}

int accept_connection(int listening_fd) {
  int fd = -1;
  do {
    fd = sys_accept4(listening_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace trovik::serve
