#pragma once

#include <string_view>

namespace trovik::json {

// True when `text`, as json.dumps writes it, holds NaN, Infinity or -Infinity outside its strings:
// the words it writes for numbers that JSON has no form for.
bool holds_non_finite_number(std::string_view text);

}  // namespace trovik::json
