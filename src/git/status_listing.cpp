#include "git/status_listing.h"

namespace trovik::git {
namespace {

constexpr std::string_view kRenameArrow = " -> ";

// Undoes git's C-style quoting from just after the opening quote; moves `text` past the closing
// quote. Nothing for an escape git never writes or a missing closing quote.
std::optional<std::string> unquote(std::string_view* text) {
  std::string path;
  size_t at = 0;
  while (at < text->size()) {
    const char c = (*text)[at++];
    if (c == '"') {
      text->remove_prefix(at);
      return path;
    }
    if (c != '\\') {
      path += c;
      continue;
    }
    if (at >= text->size()) return std::nullopt;
    const char escaped = (*text)[at++];
    switch (escaped) {
      case 'a':
        path += '\a';
        break;
      case 'b':
        path += '\b';
        break;
      case 't':
        path += '\t';
        break;
      case 'n':
        path += '\n';
        break;
      case 'v':
        path += '\v';
        break;
      case 'f':
        path += '\f';
        break;
      case 'r':
        path += '\r';
        break;
      case '"':
        path += '"';
        break;
      case '\\':
        path += '\\';
        break;
      default: {
        // Three octal digits, the first at most 3: one byte.
        if (escaped < '0' || escaped > '3' || at + 2 > text->size()) return std::nullopt;
        unsigned value = static_cast<unsigned>(escaped - '0');
        for (int digit = 0; digit < 2; ++digit) {
          const char d = (*text)[at++];
          if (d < '0' || d > '7') return std::nullopt;
          value = value * 8 + static_cast<unsigned>(d - '0');
        }
        path += static_cast<char>(value);
      }
    }
  }
  return std::nullopt;
}

// One path at the start of `text`, quoted or bare; moves `text` past it. A bare name ends at the
// first space, which only the rename arrow can hold.
std::optional<std::string> next_path(std::string_view* text) {
  if (!text->empty() && text->front() == '"') {
    text->remove_prefix(1);
    return unquote(text);
  }
  const size_t end = text->find(' ');
  std::string path(text->substr(0, end));
  text->remove_prefix(end == std::string_view::npos ? text->size() : end);
  if (path.empty()) return std::nullopt;
  return path;
}

std::optional<StatusEntry> parse_line(std::string_view line) {
  if (line.size() < 4 || line[2] != ' ') return std::nullopt;
  StatusEntry entry{line[0], line[1], {}, {}};
  std::string_view rest = line.substr(3);
  std::optional<std::string> first = next_path(&rest);
  if (!first) return std::nullopt;
  if (rest.empty()) {
    entry.path = std::move(*first);
    return entry;
  }
  if (!rest.starts_with(kRenameArrow)) return std::nullopt;
  rest.remove_prefix(kRenameArrow.size());
  std::optional<std::string> second = next_path(&rest);
  if (!second || !rest.empty()) return std::nullopt;
  entry.source = std::move(*first);
  entry.path = std::move(*second);
  return entry;
}

}  // namespace

std::optional<std::vector<StatusEntry>> parse_status_listing(std::string_view output) {
  std::vector<StatusEntry> entries;
  while (!output.empty()) {
    const size_t end = output.find('\n');
    // git ends every line, the last one too.
    if (end == std::string_view::npos) return std::nullopt;
    std::optional<StatusEntry> entry = parse_line(output.substr(0, end));
    if (!entry) return std::nullopt;
    entries.push_back(std::move(*entry));
    output.remove_prefix(end + 1);
  }
  return entries;
}

}  // namespace trovik::git
