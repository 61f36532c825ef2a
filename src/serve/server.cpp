#include "serve/server.h"

#include <signal.h>

#include <cerrno>

#include "serve/listening_socket.h"

namespace trovik::serve {
namespace {

namespace net = boost::asio;
using tcp = net::ip::tcp;

// Out of descriptors or memory, accepting again at once would spin: the pending connections wait
// in the backlog for this long instead.
constexpr std::chrono::milliseconds kAcceptRetry{100};
// At most this many connections are taken per wake-up, so that a flood cannot starve the others.
constexpr int kAcceptBatch = 16;

}  // namespace

Server::Server(GateSettings gate, const LiveSource& source)
    : shared_(std::make_shared<ServerShared>(ServerShared{std::move(gate), &source, 0})) {}

Server::~Server() = default;

Result<std::unique_ptr<Server>> Server::open(const ServeOptions& options,
                                             const LiveSource& source) {
  Result<AccessToken> token = AccessToken::generate();
  if (!token.ok()) return std::move(token).status();
  Result<ListeningSocket> listening =
      open_listening_socket(options.address, options.port, options.any_port_if_taken);
  if (!listening.ok()) return std::move(listening).status();

  GateSettings gate{std::move(token.value()), options.address, listening.value().port,
                    options.limits};
  std::unique_ptr<Server> server(new Server(std::move(gate), source));
  boost::system::error_code error;
  const tcp protocol = options.address.ipv6 ? tcp::v6() : tcp::v4();
  server->acceptor_.assign(protocol, listening.value().fd.get(), error);
  if (error) return Status::OSError("cannot serve: " + error.message());
  (void)listening.value().fd.release();
  server->signals_.add(SIGINT, error);
  if (!error) server->signals_.add(SIGTERM, error);
  if (error) return Status::OSError("cannot handle signals: " + error.message());
  return server;
}

std::string Server::url() const {
  const ListenAddress& listen = address();
  const std::string host = listen.wildcard ? "127.0.0.1" : listen.url_form();
  return "http://" + host + ":" + std::to_string(port()) + "/?token=" + shared_->gate.token.text();
}

Status Server::run() {
  signals_.async_wait([this](const boost::system::error_code& error, int) {
    if (!error) io_context_.stop();
  });
  wait_for_connections();
  io_context_.run();
  return Status::Ok();
}

void Server::stop() { io_context_.stop(); }

void Server::wait_for_connections() {
  acceptor_.async_wait(tcp::acceptor::wait_read, [this](const boost::system::error_code& error) {
    if (!error) accept_waiting_connections();
  });
}

void Server::accept_waiting_connections() {
  for (int i = 0; i < kAcceptBatch; ++i) {
    const int fd = accept_connection(acceptor_.native_handle());
    if (fd < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED) break;
      retry_timer_.expires_after(kAcceptRetry);
      retry_timer_.async_wait([this](const boost::system::error_code& error) {
        if (!error) wait_for_connections();
      });
      return;
    }
    tcp::socket socket(io_context_);
    boost::system::error_code error;
    const tcp protocol = address().ipv6 ? tcp::v6() : tcp::v4();
    socket.assign(protocol, fd, error);
    if (error) {
      ScopedFd unowned(fd);
      continue;
    }
    // Beyond the limit a connection is closed as soon as it is taken: it costs one accept.
    if (shared_->open_connections >= shared_->gate.limits.connections) continue;
    std::make_shared<Connection>(std::move(socket), shared_)->start();
  }
  wait_for_connections();
}

}  // namespace trovik::serve
