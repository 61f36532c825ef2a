#include "serve/responses.h"

namespace trovik::serve {
namespace {

// Data is never a document: nothing in it may run, load or be framed.
constexpr std::string_view kDataPolicy =
    "default-src 'none'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'; sandbox";

Response with_guards(http::status status, unsigned version, bool keep_alive,
                     std::string_view policy) {
  Response response(status, version);
  response.set("Content-Security-Policy", policy);
  response.set("X-Content-Type-Options", "nosniff");
  response.set("Referrer-Policy", "no-referrer");
  response.set(http::field::cache_control, "no-store");
  response.set("Cross-Origin-Resource-Policy", "same-origin");
  response.set("Cross-Origin-Opener-Policy", "same-origin");
  response.set(http::field::x_frame_options, "DENY");
  response.keep_alive(keep_alive);
  return response;
}

}  // namespace

Response bare_response(http::status status, unsigned version, bool keep_alive) {
  Response response = with_guards(status, version, keep_alive, kDataPolicy);
  if (status == http::status::method_not_allowed) response.set(http::field::allow, "GET, HEAD");
  response.prepare_payload();
  return response;
}

http::status status_for(const Status& failure) {
  switch (failure.kind()) {
    case ErrorKind::kNotFound:
      return http::status::not_found;
    case ErrorKind::kValueError:
    case ErrorKind::kTypeError:
      return http::status::bad_request;
    default:
      return http::status::internal_server_error;
  }
}

Response failure_response(const Status& failure, unsigned version, bool keep_alive) {
  return bare_response(status_for(failure), version, keep_alive);
}

Response page_response(std::string html, std::string_view nonce, unsigned version,
                       bool keep_alive) {
  std::string policy = "default-src 'none'; script-src 'nonce-";
  policy += nonce;
  policy +=
      "'; style-src 'unsafe-inline'; img-src data:; connect-src 'self'; base-uri 'none'; "
      "form-action 'none'; frame-ancestors 'none'";
  Response response = with_guards(http::status::ok, version, keep_alive, policy);
  response.set(http::field::content_type, "text/html; charset=utf-8");
  response.body() = std::move(html);
  response.prepare_payload();
  return response;
}

Response json_response(std::string json, unsigned version, bool keep_alive) {
  Response response = with_guards(http::status::ok, version, keep_alive, kDataPolicy);
  response.set(http::field::content_type, "application/json");
  response.body() = std::move(json);
  response.prepare_payload();
  return response;
}

Response redirect_response(const std::string& location, std::string_view cookie_name,
                           std::string_view cookie_value, unsigned version, bool keep_alive) {
  Response response = with_guards(http::status::see_other, version, keep_alive, kDataPolicy);
  response.set(http::field::location, location);
  if (!cookie_value.empty()) {
    std::string cookie(cookie_name);
    cookie += '=';
    cookie += cookie_value;
    cookie += "; Path=/; HttpOnly; SameSite=Strict";
    response.set(http::field::set_cookie, cookie);
  }
  response.prepare_payload();
  return response;
}

void strip_body_for_head(Response& response) {
  const size_t length = response.body().size();
  response.body().clear();
  response.content_length(length);
}

}  // namespace trovik::serve
