#pragma once

#include "serve/live_source.h"
#include "serve/responses.h"
#include "serve/routes.h"

namespace trovik::serve {

// Whether a request for changes finds none yet and should wait for some (see ServerLimits).
bool should_wait_for_change(const Route& route, const LiveSource& source, bool head);

// The answer to an admitted, routed request, from what the source holds now. A failure of the
// source becomes its HTTP status through status_for().
Response answer_route(const Route& route, const LiveSource& source, unsigned version,
                      bool keep_alive, bool head);

}  // namespace trovik::serve
