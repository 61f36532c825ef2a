#pragma once

#include <string>
#include <string_view>

namespace trovik::read {

// How run ids and commits are shortened for people, each length decided here only.

// The first 8 characters of a run id: what listings show, and a prefix `trovik` accepts.
std::string short_run_id(std::string_view run_id);
// A commit in a table cell: its first 7 hex digits, git's own short form.
std::string short_commit(std::string_view commit);
// A commit in a sentence: its first 10 hex digits.
std::string abbreviated_commit(std::string_view commit);

}  // namespace trovik::read
