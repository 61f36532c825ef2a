#include "serve/request_handler.h"

#include "util/random_bytes.h"

namespace trovik::serve {
namespace {

Response document_or_failure(Result<std::string> json, unsigned version, bool keep_alive) {
  if (!json.ok()) return failure_response(json.status(), version, keep_alive);
  return json_response(std::move(json.value()), version, keep_alive);
}

Response page(const LiveSource& source, unsigned version, bool keep_alive) {
  // A fresh nonce per response: one that leaked from an old page opens nothing.
  Result<std::string> nonce = random_hex(16);
  if (!nonce.ok()) return failure_response(nonce.status(), version, keep_alive);
  Result<std::string> html = source.page(nonce.value());
  if (!html.ok()) return failure_response(html.status(), version, keep_alive);
  return page_response(std::move(html.value()), nonce.value(), version, keep_alive);
}

}  // namespace

bool should_wait_for_change(const Route& route, const LiveSource& source, bool head) {
  return route.kind == Route::Kind::kChanges && !head && source.cursor() <= route.since;
}

Response answer_route(const Route& route, const LiveSource& source, unsigned version,
                      bool keep_alive, bool head) {
  Response response;
  switch (route.kind) {
    case Route::Kind::kPage:
      response = page(source, version, keep_alive);
      break;
    case Route::Kind::kChanges:
      response = document_or_failure(source.changes_since(route.since), version, keep_alive);
      break;
    case Route::Kind::kSeries:
      response = document_or_failure(source.run_series(route.run_id), version, keep_alive);
      break;
    case Route::Kind::kIcon:
      response = bare_response(http::status::no_content, version, keep_alive);
      break;
  }
  if (head) strip_body_for_head(response);
  return response;
}

}  // namespace trovik::serve
