#pragma once

#include <string>
#include <string_view>

#include "run/clock.h"

namespace trovik::run {

// The members that every record of a run shares, rendered once as record text (see envelope.h):
// the experiment name up to the kind's value, and from the run id up to the value.
struct RecordFragments {
  // ,"experiment_name":<name>,"kind":
  std::string through_kind;
  // ,"run_id":<run id>,"schema_version":1,"trovik_version":<version>,"value":
  std::string through_value;
};
RecordFragments render_record_fragments(std::string_view run_id, std::string_view name);

// The facts an Experiment owns, fixed at creation.
struct Run {
  std::string run_id;  // 36-character lower-case hyphenated version 4 UUID
  std::string name;    // the experiment name exactly as passed, untrimmed
  std::string path;    // <root>/runs/<run_id>.jsonl as built; relative when the root is relative
  Timestamp start;     // monotonic instant from which elapsed_ms is measured
  // The run file that every append opens: `path` made absolute against the working directory at
  // creation, so that a later change of directory cannot send records elsewhere. Equal to `path`
  // when that directory could not be read.
  std::string location = path;
  Timestamp wall_start{};  // the wall clock read together with `start`
  // Derived from the above when the run is made, so that each record only copies them.
  RecordFragments fragments = render_record_fragments(run_id, name);
};

}  // namespace trovik::run
