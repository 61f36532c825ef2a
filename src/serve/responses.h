#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <string>
#include <string_view>

#include "util/status.h"

namespace trovik::serve {

namespace http = boost::beast::http;
using Response = http::response<http::string_body>;

// Every response the server sends is made here, so each carries the same guard headers: a content
// security policy, no MIME sniffing, no referrer, no caching, no framing, and no CORS header ever.
// `version` is the request's HTTP version (11 for HTTP/1.1).

// A status and nothing else: no body that could tell a client anything.
Response bare_response(http::status status, unsigned version, bool keep_alive);

// The one place where a failure becomes an HTTP status: NotFound 404, ValueError 400, else 500.
// The message stays on the server.
http::status status_for(const Status& failure);
Response failure_response(const Status& failure, unsigned version, bool keep_alive);

// A document: the page ("text/html; charset=utf-8" with `nonce` for its scripts) or data.
Response page_response(std::string html, std::string_view nonce, unsigned version, bool keep_alive);
Response json_response(std::string json, unsigned version, bool keep_alive);

// 303 to `location`, setting the access cookie `name=value` first when `value` is not empty. The
// cookie lives as long as the browser session, is sent by the browser only with requests this site
// started itself, and is never readable by a script.
Response redirect_response(const std::string& location, std::string_view cookie_name,
                           std::string_view cookie_value, unsigned version, bool keep_alive);

// Drops the body of a GET answer and keeps its length: the answer to HEAD.
void strip_body_for_head(Response& response);

}  // namespace trovik::serve
