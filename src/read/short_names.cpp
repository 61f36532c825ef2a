#include "read/short_names.h"

namespace trovik::read {

std::string short_run_id(std::string_view run_id) { return std::string(run_id.substr(0, 8)); }

std::string short_commit(std::string_view commit) { return std::string(commit.substr(0, 7)); }

std::string abbreviated_commit(std::string_view commit) {
  return std::string(commit.substr(0, 10));
}

}  // namespace trovik::read
