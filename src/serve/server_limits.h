#pragma once

#include <chrono>
#include <cstddef>

namespace trovik::serve {

// What one client may cost the server. A request beyond a size limit is refused and its connection
// closed; a connection beyond a time limit is closed.
struct ServerLimits {
  size_t request_head_bytes = size_t{8} * 1024;  // request line and header fields together
  size_t target_bytes = size_t{2} * 1024;        // the request line's target
  size_t header_fields = 64;
  size_t connections = 128;  // open at once; more are closed as soon as they are accepted
  // From a connection's start, or the end of its last response, to a whole request head: an idle
  // keep-alive connection and a client that sends its request slowly are cut off alike.
  std::chrono::milliseconds idle{15'000};
  std::chrono::milliseconds response_write{30'000};  // a client that stops reading is let go
  // A request for changes waits at most this long for one, looking at the source's cursor every
  // `change_poll`; then it is answered with what there is (maybe nothing).
  std::chrono::milliseconds longest_wait{5'000};
  std::chrono::milliseconds change_poll{200};
};

}  // namespace trovik::serve
