#pragma once

#include <string>
#include <vector>

namespace trovik::read {

// The directories whose `runs` folders hold the runs to look at: every directory given (runs
// copied from other machines), else TROVIK_DIR when set, else ".trovik" in the working directory
// plus every directory named ".trovik" in the current git work tree (runs started from
// subfolders), found without descending into ".git".
std::vector<std::string> find_run_roots(const std::vector<std::string>& given);

}  // namespace trovik::read
