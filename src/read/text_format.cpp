#include "read/text_format.h"

#include <charconv>
#include <cmath>

#include "json/writer.h"
#include "read/run_facts.h"

namespace trovik::read {

std::string format_number(double value) {
  if (value == 0) return "0";
  char text[64];
  const std::to_chars_result written =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
  return std::string(text, written.ptr);
}

std::string format_difference(double value) {
  if (value == 0) return "0";
  return (value > 0 ? "+" : "") + format_number(value);
}

std::string cell_text(const json::Value& value) {
  switch (value.type()) {
    case json::Value::Type::kString:
      return value.as_string();
    case json::Value::Type::kDouble:
      return format_number(value.as_double());
    default:
      return json::to_json_text(value);
  }
}

std::vector<std::pair<std::string, std::string>> metadata_cells(const RunSummary& run) {
  std::vector<std::pair<std::string, std::string>> cells;
  for (const auto& [key, value] : metadata_values(run)) cells.emplace_back(key, cell_text(*value));
  return cells;
}

std::string shell_quote(const std::vector<std::string>& words) {
  std::string line;
  for (const std::string& word : words) {
    if (!line.empty()) line += ' ';
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789_-+=./:,@%^") == std::string::npos;
    if (plain) {
      line += word;
      continue;
    }
    line += '\'';
    for (char c : word) {
      if (c == '\'') {
        line += "'\\''";
      } else {
        line += c;
      }
    }
    line += '\'';
  }
  return line;
}

std::string sparkline(const std::vector<SeriesPoint>& points, size_t width, bool ascii) {
  static constexpr const char* kBlocks[] = {"▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};
  static constexpr char kAscii[] = "_.-=+*#@";
  if (points.empty() || width == 0) return {};
  const size_t cells = points.size() < width ? points.size() : width;
  std::vector<double> means(cells, 0);
  std::vector<size_t> counts(cells, 0);
  for (size_t i = 0; i < points.size(); ++i) {
    const size_t cell = i * cells / points.size();
    means[cell] += points[i].value;
    ++counts[cell];
  }
  double low = INFINITY;
  double high = -INFINITY;
  for (size_t cell = 0; cell < cells; ++cell) {
    means[cell] /= static_cast<double>(counts[cell]);
    low = std::fmin(low, means[cell]);
    high = std::fmax(high, means[cell]);
  }
  std::string line;
  for (double mean : means) {
    size_t level = 0;
    if (high > low && std::isfinite(high - low)) {
      level = static_cast<size_t>((mean - low) / (high - low) * 7 + 0.5);
      if (level > 7) level = 7;
    }
    if (ascii) {
      line += kAscii[level];
    } else {
      line += kBlocks[level];
    }
  }
  return line;
}

size_t display_width(std::string_view text) {
  size_t columns = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++columns;
  }
  return columns;
}

std::string truncate_to_width(std::string_view text, size_t width) {
  if (display_width(text) <= width) return std::string(text);
  if (width == 0) return {};
  std::string cut;
  size_t columns = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool starts_code_point = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts_code_point && ++columns == width) break;
    cut += text[i];
  }
  return cut + "…";
}

bool natural_less(std::string_view a, std::string_view b) {
  const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (is_digit(a[i]) && is_digit(b[j])) {
      // Leading zeros aside, the longer run of digits is the greater number.
      size_t a_start = i;
      size_t b_start = j;
      while (a_start < a.size() && a[a_start] == '0') ++a_start;
      while (b_start < b.size() && b[b_start] == '0') ++b_start;
      size_t a_end = a_start;
      size_t b_end = b_start;
      while (a_end < a.size() && is_digit(a[a_end])) ++a_end;
      while (b_end < b.size() && is_digit(b[b_end])) ++b_end;
      const std::string_view a_digits = a.substr(a_start, a_end - a_start);
      const std::string_view b_digits = b.substr(b_start, b_end - b_start);
      if (a_digits.size() != b_digits.size()) return a_digits.size() < b_digits.size();
      if (a_digits != b_digits) return a_digits < b_digits;
      i = a_end;
      j = b_end;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

}  // namespace trovik::read
