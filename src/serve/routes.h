#pragma once

#include <cstdint>
#include <string_view>

#include "serve/request_target.h"
#include "util/status.h"

namespace trovik::serve {

// What an admitted request asks for. Paths name routes, never files.
struct Route {
  enum class Kind {
    kPage,     // GET /
    kChanges,  // GET /api/changes?since=CURSOR: waits a few seconds for news when there is none
    kSeries,   // GET /api/series?run=RUN_ID
    kIcon,     // GET /favicon.ico: none, said without an error
  };
  Kind kind = Kind::kPage;
  uint64_t since = 0;
  std::string_view run_id;  // a view into the request
};

// NotFound for a path no route has; ValueError for a route's missing or malformed parameter.
// Parameters a route does not take are ignored.
Result<Route> route_request(const RequestTarget& target);

}  // namespace trovik::serve
