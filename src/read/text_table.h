#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace trovik::read {

// A table of text cells for a terminal, laid out in columns two spaces apart, fitted to a width:
// the widest shrinkable columns are cut first (ending in "…"), then columns are left off from the
// right. Headers and cells are shown terminal_quoted: they hold text from run files.
class TextTable {
 public:
  enum class Align { kLeft, kRight };
  struct Column {
    std::string header;
    Align align = Align::kLeft;
    bool shrinkable = false;
  };
  // What colour a cell is printed in, when colours are on.
  enum class Tone { kPlain, kDim, kGood, kWarn, kBad };

  explicit TextTable(std::vector<Column> columns);

  void add_row(std::vector<std::string> cells, std::vector<Tone> tones = {});

  // The table as lines; `width` 0 means no limit. Returns the number of columns left off.
  size_t render(size_t width, bool colour, std::string& out) const;

 private:
  std::vector<Column> columns_;
  std::vector<std::vector<std::string>> rows_;
  std::vector<std::vector<Tone>> tones_;
};

}  // namespace trovik::read
