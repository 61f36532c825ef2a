#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "json/value.h"

namespace trovik::json {

// Appends the compact text form of `value` to `out`: keys in byte order, no whitespace, strings
// escaped byte by byte (only '"', '\\' and bytes below 0x20), doubles in their shortest
// round-trip form, a non-finite double as null.
void write_json(const Value& value, std::string& out);

// The text forms of single scalars, as write_json writes them.
void write_double(double value, std::string& out);
void write_integer(uint64_t value, std::string& out);
void write_integer(int64_t value, std::string& out);
void write_string(std::string_view text, std::string& out);

std::string to_json_text(const Value& value);

}  // namespace trovik::json
