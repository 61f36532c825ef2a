#pragma once

#include <string_view>

namespace trovik::git {

// Whether `git status`, under the settings listed by `git config -z --list`, names every path
// whose content `add` would change and every untracked, non-ignored path, with paths compared
// byte for byte. Settings that let status trust stale stat data (a file-system monitor, ctime
// not trusted, minimal stat checks, ignored stat data), hide untracked files, or fold case make
// the answer no; so does a value it cannot read for certain.
bool status_sees_every_change(std::string_view config_listing);

}  // namespace trovik::git
