#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "json/value.h"
#include "read/text_table.h"

namespace trovik::read {

// One cell of a table of runs: the text a person reads, the value it sorts by, and whether the run
// has a value there at all. Cells are compared and sorted by their values, never by their text,
// which may round a number to 6 digits.
class Cell {
 public:
  // No value: the run has no such metadata key or series, or no such fact.
  Cell() = default;
  // A value as the run recorded it (a metadata value, a series' number): shown as cell_text shows
  // it, sorted by its number when it is one, compared by JSON value equality.
  static Cell recorded(json::Value value);
  // A text that sorts as text; an empty one is no value.
  static Cell text(std::string shown);
  // A text that sorts by a number (a time, a duration, a count) when there is one, else as text.
  static Cell counted(std::string shown, std::optional<int64_t> number);

  // How the cell stands out when colours are on.
  Cell& tone(TextTable::Tone tone) {
    tone_ = tone;
    return *this;
  }
  TextTable::Tone tone() const { return tone_; }

  bool present() const { return !std::holds_alternative<std::monostate>(content_); }
  std::string text() const;  // empty when absent
  // The number the cell sorts by. long double holds every 64-bit integer and every double exactly
  // (x87 extended on x86-64, binary128 on aarch64), so counts, times and recorded numbers compare
  // exactly with each other.
  std::optional<long double> sort_number() const;
  const json::Value* recorded_value() const { return std::get_if<json::Value>(&content_); }

 private:
  struct Shown {
    std::string text;
    std::optional<int64_t> number;
  };
  std::variant<std::monostate, json::Value, Shown> content_;
  TextTable::Tone tone_ = TextTable::Tone::kPlain;
};

// The one rule for "these runs differ here": a missing value differs from any value; two recorded
// values differ unless they are equal JSON values (so a series' numbers are compared as the exact
// doubles); other cells differ when their texts do.
bool same_value(const Cell& a, const Cell& b);

// The order of a sort by one column: cells without a value come last in either direction; two
// numbers by value, anything else by its text.
bool sorts_before(const Cell& a, const Cell& b, bool descending);

}  // namespace trovik::read
