#pragma once

#include <string_view>

#include "json/value.h"

namespace trovik::read {

// A recorded number as a JSON value, from its text in the run file: an integer keeps every digit
// (`0` stays `0`, 2**64 stays whole), a float is the double its text reads as, which the JSON
// writer gives back in its shortest round-trip form. Without a text (none was kept), `value`.
json::Value recorded_number(std::string_view token, double value);

}  // namespace trovik::read
