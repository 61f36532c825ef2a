#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "read/run_catalog.h"

namespace trovik::serve {

// The runs under the roots at one moment, and the cursor that moment was given.
struct RunListing {
  uint64_t cursor = 0;
  std::vector<read::RunFileEntry> runs;  // newest first
};

// Whether two listings name the same runs, so that the cursor need not move.
bool same_runs(const std::vector<read::RunFileEntry>& a, const std::vector<read::RunFileEntry>& b);

// A plain page of the listing: a table of the runs, every text escaped, and one small script
// (carrying `nonce`) that asks the server for changes and reloads the page when the runs change.
std::string render_listing_page(const RunListing& listing, std::string_view nonce);

// {"cursor":N,"runs":[{"run_id":..,"name":..,"started_ns":..},...]}; without "runs" when
// nothing changed after `since`.
std::string render_listing_changes(const RunListing& listing, uint64_t since);

}  // namespace trovik::serve
