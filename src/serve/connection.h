#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <chrono>
#include <memory>
#include <optional>

#include "serve/live_source.h"
#include "serve/request_gate.h"
#include "serve/responses.h"
#include "serve/routes.h"

namespace trovik::serve {

// What every connection of one server shares. Lives as long as the last connection.
struct ServerShared {
  GateSettings gate;
  const LiveSource* source = nullptr;
  size_t open_connections = 0;
};

// One client connection: reads a request head, lets the gate judge it, answers it, and reads the
// next while the client keeps the connection alive. Owned by the handler of its pending operation
// (shared_from_this), so a client that disconnects takes its connection with it at the next step.
// Everything runs on the server's one thread.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(boost::asio::ip::tcp::socket socket, std::shared_ptr<ServerShared> shared);
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  void start() { read_request_head(); }

 private:
  using Clock = std::chrono::steady_clock;

  void read_request_head();
  void on_request_head(boost::beast::error_code error);
  // Refuses a head the parser could not take, when there is still someone to tell.
  void refuse_unreadable_head(boost::beast::error_code error);
  void answer_admitted(const GateVerdict& verdict, unsigned version, bool keep_alive);
  void wait_for_change(Route route, Clock::time_point deadline, unsigned version, bool keep_alive);
  void send(Response response);
  void on_sent(boost::beast::error_code error);
  // After a refusal: no more sending, then the rest of what the client sent is read and dropped
  // for a moment, so that closing does not reset the connection before the client read the answer.
  void linger_then_close();
  void drain(size_t drained);

  boost::beast::tcp_stream stream_;
  boost::beast::flat_buffer buffer_;
  std::optional<boost::beast::http::request_parser<boost::beast::http::empty_body>> parser_;
  Response response_;
  boost::asio::steady_timer wait_timer_;
  std::shared_ptr<ServerShared> shared_;
  bool linger_after_send_ = false;
};

}  // namespace trovik::serve
