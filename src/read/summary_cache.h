#pragma once

#include <optional>
#include <string>
#include <vector>

#include "read/run_batch.h"
#include "read/run_catalog.h"

namespace trovik::read {

// Where this user's summary cache lives: $XDG_CACHE_HOME/trovik when that is an absolute path,
// else $HOME/.cache/trovik; none when neither can be told.
std::optional<std::string> summary_cache_directory();

// How read_run_summaries uses the cache.
struct SummaryCacheUse {
  std::optional<std::string> directory;  // none: every file is read, nothing is kept
  // The entries are every run file of their folders (a listing, not a choice of runs): what the
  // cache holds for other files there is of files that are gone, and is dropped.
  bool complete_listing = false;
};

// The kSummary summary of each entry, handed to `consume` (one call at a time, in no particular
// order) as soon as it is known, on up to `threads` threads.
//
// A run file is looked up in the cache, kept per folder of run files in a few files under the
// cache directory (the folders themselves are never written to). A state is used as it is when
// the file's device, inode, size and modification time are those it was taken at; when the file
// only grew, the reading goes on from it; anything else, or a state that is damaged, of another
// version or not there, is read from the start. What changed is written back atomically, so two
// processes doing this at once each see a cache that is whole, and each result is checked against
// the file it describes. A cache that can't be read or written makes no difference to the result.
void read_run_summaries(const std::vector<RunFileEntry>& entries, const SummaryCacheUse& cache,
                        unsigned threads, const RunConsumer& consume);

}  // namespace trovik::read
