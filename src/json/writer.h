#pragma once

#include <string>

#include "json/value.h"

namespace trovik::json {

// Appends the compact text form of `value` to `out`: keys in byte order, no whitespace, strings
// escaped byte by byte (only '"', '\\' and bytes below 0x20), doubles in their shortest
// round-trip form, a non-finite double as null.
void write_json(const Value& value, std::string& out);

// Appends the text form of one double (see write_json).
void write_double(double value, std::string& out);

std::string to_json_text(const Value& value);

}  // namespace trovik::json
