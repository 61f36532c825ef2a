#include "read/text_table.h"

#include <algorithm>

#include "read/text_format.h"
#include "util/quote.h"

namespace trovik::read {
namespace {

constexpr size_t kGap = 2;
constexpr size_t kNarrowest = 6;

const char* tone_code(TextTable::Tone tone) {
  switch (tone) {
    case TextTable::Tone::kDim:
      return "\033[2m";
    case TextTable::Tone::kGood:
      return "\033[32m";
    case TextTable::Tone::kWarn:
      return "\033[33m";
    case TextTable::Tone::kBad:
      return "\033[31m";
    case TextTable::Tone::kPlain:
      break;
  }
  return "";
}

}  // namespace

TextTable::TextTable(std::vector<Column> columns) : columns_(std::move(columns)) {
  for (Column& column : columns_) column.header = terminal_quoted(column.header);
}

void TextTable::add_row(std::vector<std::string> cells, std::vector<Tone> tones) {
  for (std::string& cell : cells) cell = terminal_quoted(cell);
  cells.resize(columns_.size());
  tones.resize(columns_.size(), Tone::kPlain);
  rows_.push_back(std::move(cells));
  tones_.push_back(std::move(tones));
}

size_t TextTable::render(size_t width, bool colour, std::string& out) const {
  std::vector<size_t> widths(columns_.size());
  for (size_t c = 0; c < columns_.size(); ++c) {
    widths[c] = display_width(columns_[c].header);
    for (const std::vector<std::string>& row : rows_) {
      widths[c] = std::max(widths[c], display_width(row[c]));
    }
  }
  size_t shown = columns_.size();
  auto total = [&] {
    size_t sum = 0;
    for (size_t c = 0; c < shown; ++c) sum += widths[c] + (c > 0 ? kGap : 0);
    return sum;
  };
  if (width > 0) {
    // Cut the widest shrinkable column a column at a time until the table fits or none can shrink.
    while (total() > width) {
      size_t widest = shown;
      for (size_t c = 0; c < shown; ++c) {
        if (columns_[c].shrinkable && widths[c] > kNarrowest &&
            (widest == shown || widths[c] > widths[widest])) {
          widest = c;
        }
      }
      if (widest == shown) break;
      widths[widest] -= std::min(widths[widest] - kNarrowest, total() - width);
    }
    while (shown > 1 && total() > width) --shown;
  }

  auto emit = [&](const std::vector<std::string>& cells, const std::vector<Tone>* tones,
                  bool header) {
    std::string line;
    for (size_t c = 0; c < shown; ++c) {
      const std::string cell = truncate_to_width(cells[c], widths[c]);
      const size_t pad = widths[c] - display_width(cell);
      if (c > 0) line.append(kGap, ' ');
      const char* code = header ? (colour ? "\033[1m" : "")
                                : (colour && tones != nullptr ? tone_code((*tones)[c]) : "");
      const bool coloured = *code != '\0';
      if (columns_[c].align == Align::kRight) line.append(pad, ' ');
      if (coloured) line += code;
      line += cell;
      if (coloured) line += "\033[0m";
      if (columns_[c].align == Align::kLeft && c + 1 < shown) line.append(pad, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line;
    out += '\n';
  };
  std::vector<std::string> headers;
  headers.reserve(columns_.size());
  for (const Column& column : columns_) headers.push_back(column.header);
  emit(headers, nullptr, true);
  for (size_t r = 0; r < rows_.size(); ++r) emit(rows_[r], &tones_[r], false);
  return columns_.size() - shown;
}

}  // namespace trovik::read
