#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/status.h"

namespace trovik::serve {

// What the server shows, and how it learns that something changed. The server calls every member
// from its one network thread, so none may wait for the disk or for a lock held long: a source
// keeps its answers current on its own (a watcher thread that lists the roots every second or two
// and reads only the bytes appended since) and answers from what it holds in memory. A failure is a
// Status; the server turns it into an HTTP status in one place (kNotFound: 404).
class LiveSource {
 public:
  virtual ~LiveSource() = default;

  // A number that grows whenever what changes_since() would report grows, 0 before anything is
  // known. The server reads it on a timer while a page waits for news, so it must be cheap (an
  // atomic load) and safe to call from any thread.
  virtual uint64_t cursor() const = 0;

  // The page: a whole HTML document whose scripts carry `nonce` (the server's policy lets no other
  // script run) and which fetches its data from the routes below.
  virtual Result<std::string> page(std::string_view nonce) const = 0;

  // A JSON object of what changed after `since`: runs added, their texts and statuses, notes and
  // series grown, and "cursor", the value to ask from next time. A run whose file went away
  // stays as it was last read. `since` 0, or a cursor this source never gave
  // (a page left open across a restart), asks for everything.
  virtual Result<std::string> changes_since(uint64_t since) const = 0;

  // One run's series as a JSON object; kNotFound when no run has that id. `run_id` has been checked
  // to hold only letters, digits and '-', and is never a path.
  virtual Result<std::string> run_series(std::string_view run_id) const = 0;
};

}  // namespace trovik::serve
