#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "json/value.h"

namespace trovik::json {

// Appends the compact text form of `value` to `out`: keys in byte order, no whitespace, strings
// escaped byte by byte (only '"', '\\' and bytes below 0x20), doubles in their shortest
// round-trip form, a non-finite double as null, an integer beyond 64 bits as its digits.
void write_json(const Value& value, std::string& out);

// The text forms of single scalars, as write_json writes them.
void write_double(double value, std::string& out);
void write_integer(uint64_t value, std::string& out);
void write_integer(int64_t value, std::string& out);
void write_string(std::string_view text, std::string& out);

// Writes the double nearest to `number`, a JSON number text, in the float form straight from the
// text's own digits, when those are sure to be the double's shortest round-trip digits: at most 15
// significant digits, and a value well inside the normal range. Otherwise writes nothing and
// returns false; write_double then gives the same text from the double.
bool write_double_digits(std::string_view number, std::string& out);

std::string to_json_text(const Value& value);

}  // namespace trovik::json
