#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json/value.h"
#include "read/run_summary.h"

namespace trovik::read {

// A number for a table cell: at most 6 significant digits ("0.123457", "1.5e+06", "42").
std::string format_number(double value);
// A signed difference for a table cell: "+0.5", "-3", "0".
std::string format_difference(double value);

// A JSON value for a table cell: a string as its text, anything else as compact JSON.
std::string cell_text(const json::Value& value);

// A run's metadata as (column, cell) pairs: each member of an object in key order, or the whole
// value under "metadata" when it is not an object; none when the run has no metadata.
std::vector<std::pair<std::string, std::string>> metadata_cells(const RunSummary& run);

// An argument vector as one line a POSIX shell reads back into the same words.
std::string shell_quote(const std::vector<std::string>& words);

// A series drawn in `width` characters, each the mean of its share of the points: Unicode block
// elements, or with `ascii` the characters "_.-=+*#@". Empty for no points.
std::string sparkline(const std::vector<SeriesPoint>& points, size_t width, bool ascii);

// Natural order for names: runs of digits compare by their numbers ("k2" before "k10"), the rest
// byte by byte.
bool natural_less(std::string_view a, std::string_view b);

// The number of terminal columns a UTF-8 text takes, taking each code point as one column.
size_t display_width(std::string_view text);
// The text cut to `width` columns, ending in "…" when cut.
std::string truncate_to_width(std::string_view text, size_t width);

}  // namespace trovik::read
