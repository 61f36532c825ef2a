#include "serve/connection.h"

#include <boost/asio/buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include "serve/request_handler.h"

namespace trovik::serve {
namespace {

namespace beast = boost::beast;
namespace net = boost::asio;
using RequestParser = http::request_parser<http::empty_body>;

// After a refusal, what the client still sends is read and dropped for this long, up to this much.
constexpr std::chrono::seconds kLinger{2};
constexpr size_t kLingerBytes = size_t{64} * 1024;
constexpr size_t kLingerChunk = 4096;

bool is_parse_error(beast::error_code error) {
  return error.category() == http::make_error_code(http::error::bad_target).category();
}

RequestFacts facts_of(const RequestParser& parser) {
  const auto& request = parser.get();
  RequestFacts facts;
  facts.method = request.method();
  facts.target = request.target();
  for (const auto& field : request) {
    ++facts.field_count;
    if (field.name() == http::field::host) facts.hosts.push_back(field.value());
    if (field.name() == http::field::cookie) facts.cookies.push_back(field.value());
  }
  const bool has_length = parser.content_length().has_value() && *parser.content_length() > 0;
  facts.has_body = has_length || request.count(http::field::transfer_encoding) > 0;
  return facts;
}

}  // namespace

Connection::Connection(net::ip::tcp::socket socket, std::shared_ptr<ServerShared> shared)
    : stream_(std::move(socket)),
      // Room for a whole head at its limit, so that the parser's own limit is what trips.
      buffer_(2 * shared->gate.limits.request_head_bytes),
      wait_timer_(stream_.get_executor()),
      shared_(std::move(shared)) {
  ++shared_->open_connections;
}

Connection::~Connection() { --shared_->open_connections; }

void Connection::read_request_head() {
  parser_.emplace();
  parser_->header_limit(static_cast<std::uint32_t>(shared_->gate.limits.request_head_bytes));
  stream_.expires_after(shared_->gate.limits.idle);
  http::async_read_header(stream_, buffer_, *parser_,
                          [self = shared_from_this()](beast::error_code error, size_t) {
                            self->on_request_head(error);
                          });
}

void Connection::on_request_head(beast::error_code error) {
  if (error) return refuse_unreadable_head(error);
  const auto& request = parser_->get();
  const unsigned version = request.version();
  const GateVerdict verdict = check_request(facts_of(*parser_), shared_->gate);
  switch (verdict.outcome) {
    case GateVerdict::Outcome::kRefused:
      linger_after_send_ = true;
      return send(bare_response(verdict.status, version, false));
    case GateVerdict::Outcome::kRedirected: {
      const GateSettings& gate = shared_->gate;
      return send(redirect_response(verdict.location, gate.cookie_name(),
                                    verdict.set_cookie ? gate.token.text() : std::string_view(),
                                    version, request.keep_alive()));
    }
    case GateVerdict::Outcome::kAdmitted:
      return answer_admitted(verdict, version, request.keep_alive());
  }
}

void Connection::refuse_unreadable_head(beast::error_code error) {
  http::status status = http::status::bad_request;
  if (error == http::error::header_limit ||
      error == beast::error_code(http::error::buffer_overflow)) {
    // The parser takes the request line first: without its target, that line alone was too long.
    status = parser_->get().target().empty() ? http::status::uri_too_long
                                             : http::status::request_header_fields_too_large;
  } else if (!is_parse_error(error) || error == http::error::end_of_stream ||
             error == http::error::partial_message) {
    return;  // closed, reset or timed out: nobody is left to tell
  }
  linger_after_send_ = true;
  send(bare_response(status, 11, false));
}

void Connection::answer_admitted(const GateVerdict& verdict, unsigned version, bool keep_alive) {
  Result<Route> route = route_request(verdict.target);
  if (!route.ok()) return send(failure_response(route.status(), version, keep_alive));
  const LiveSource& source = *shared_->source;
  if (should_wait_for_change(route.value(), source, verdict.head)) {
    return wait_for_change(route.value(), Clock::now() + shared_->gate.limits.longest_wait, version,
                           keep_alive);
  }
  send(answer_route(route.value(), source, version, keep_alive, verdict.head));
}

void Connection::wait_for_change(Route route, Clock::time_point deadline, unsigned version,
                                 bool keep_alive) {
  const LiveSource& source = *shared_->source;
  const Clock::time_point now = Clock::now();
  if (now >= deadline || !should_wait_for_change(route, source, false)) {
    return send(answer_route(route, source, version, keep_alive, false));
  }
  wait_timer_.expires_after(
      std::min<Clock::duration>(shared_->gate.limits.change_poll, deadline - now));
  wait_timer_.async_wait(
      [self = shared_from_this(), route, deadline, version, keep_alive](beast::error_code error) {
        if (!error) self->wait_for_change(route, deadline, version, keep_alive);
      });
}

void Connection::send(Response response) {
  response_ = std::move(response);
  stream_.expires_after(shared_->gate.limits.response_write);
  http::async_write(
      stream_, response_,
      [self = shared_from_this()](beast::error_code error, size_t) { self->on_sent(error); });
}

void Connection::on_sent(beast::error_code error) {
  if (error) return;  // the client left: this connection ends with the handler holding it
  if (linger_after_send_) return linger_then_close();
  if (response_.keep_alive()) return read_request_head();
  beast::error_code ignored;
  stream_.socket().shutdown(net::ip::tcp::socket::shutdown_send, ignored);
}

void Connection::linger_then_close() {
  beast::error_code ignored;
  stream_.socket().shutdown(net::ip::tcp::socket::shutdown_send, ignored);
  stream_.expires_after(kLinger);
  drain(0);
}

void Connection::drain(size_t drained) {
  buffer_.clear();
  stream_.async_read_some(buffer_.prepare(kLingerChunk), [self = shared_from_this(), drained](
                                                             beast::error_code error, size_t size) {
    if (!error && drained + size < kLingerBytes) self->drain(drained + size);
  });
}

}  // namespace trovik::serve
