#include "read/summary_cache_file.h"

namespace trovik::read {
namespace {

constexpr std::string_view kTag = "trovik summary cache\n";

void append_u32(uint32_t value, std::string& out) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

// Reads a little-endian u32 at `position`, moving past it; false when the bytes run out.
bool read_u32(std::string_view bytes, size_t& position, uint32_t& value) {
  if (bytes.size() - position < 4) return false;
  value = 0;
  for (int i = 3; i >= 0; --i) {
    value = value << 8 | static_cast<unsigned char>(bytes[position + static_cast<size_t>(i)]);
  }
  position += 4;
  return true;
}

bool read_text(std::string_view bytes, size_t& position, std::string_view& text) {
  uint32_t size = 0;
  if (!read_u32(bytes, position, size) || bytes.size() - position < size) return false;
  text = bytes.substr(position, size);
  position += size;
  return true;
}

}  // namespace

void begin_cache_file(std::string& out) {
  out += kTag;
  append_u32(kSummaryCacheFileVersion, out);
}

void append_cache_entry(std::string_view path, std::string_view state, std::string& out) {
  append_u32(static_cast<uint32_t>(path.size()), out);
  out += path;
  append_u32(static_cast<uint32_t>(state.size()), out);
  out += state;
}

std::vector<CachedState> cache_file_entries(std::string_view bytes) {
  std::vector<CachedState> entries;
  if (!bytes.starts_with(kTag)) return entries;
  size_t position = kTag.size();
  uint32_t version = 0;
  if (!read_u32(bytes, position, version) || version != kSummaryCacheFileVersion) return entries;
  while (position < bytes.size()) {
    CachedState entry;
    if (!read_text(bytes, position, entry.path) || !read_text(bytes, position, entry.state)) break;
    entries.push_back(entry);
  }
  return entries;
}

}  // namespace trovik::read
