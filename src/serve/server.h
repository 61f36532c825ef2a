#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstdint>
#include <memory>
#include <string>

#include "serve/connection.h"
#include "serve/listen_address.h"
#include "serve/live_source.h"
#include "serve/server_limits.h"
#include "util/status.h"

namespace trovik::serve {

struct ServeOptions {
  ListenAddress address;
  uint16_t port = 0;               // 0: any free port
  bool any_port_if_taken = false;  // when `port` is taken, take any free one instead of failing
  ServerLimits limits;
};

// The HTTP server: one thread running one io_context, so no page ever holds a thread; a request
// for changes waits on a timer. Every request passes check_request() before anything answers it.
class Server {
 public:
  // Listens, draws the access token and takes over SIGINT and SIGTERM, but serves nobody before
  // run(). `source` must outlive the server.
  static Result<std::unique_ptr<Server>> open(const ServeOptions& options,
                                              const LiveSource& source);
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  ~Server();

  uint16_t port() const { return shared_->gate.port; }
  const ListenAddress& address() const { return shared_->gate.address; }
  // The address a browser opens first, token included: the only place the token is shown.
  std::string url() const;

  // Serves until SIGINT or SIGTERM arrives or stop() is called; then returns at once (nothing
  // is lost: the server writes nothing). Connections still open are dropped.
  Status run();
  // From any thread.
  void stop();

 private:
  Server(GateSettings gate, const LiveSource& source);
  void wait_for_connections();
  void accept_waiting_connections();

  boost::asio::io_context io_context_{1};
  boost::asio::signal_set signals_{io_context_};
  boost::asio::ip::tcp::acceptor acceptor_{io_context_};
  boost::asio::steady_timer retry_timer_{io_context_};
  std::shared_ptr<ServerShared> shared_;
};

}  // namespace trovik::serve
