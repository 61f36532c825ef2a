#include "json/string_scan.h"

#include <gtest/gtest.h>

#include <string>

#include "json/reader.h"
#include "json/writer.h"

namespace trovik::json {
namespace {

// Every byte value at every offset of a word-crossing run, among fillers that differ from the
// special bytes only in their high bit (0xA2, 0xDC, 0x80) or are plain ASCII.
class FindStringSpecial : public testing::TestWithParam<int> {};

TEST_P(FindStringSpecial, StopsAtTheFirstSpecialByteOnly) {
  const char filler = static_cast<char>(GetParam());
  for (int byte = 0; byte < 256; ++byte) {
    const bool special = byte < 0x20 || byte == '"' || byte == '\\';
    for (size_t at = 0; at < 20; ++at) {
      std::string text(19, filler);
      text.insert(at, 1, static_cast<char>(byte));
      const char* found = find_string_special(text.data(), text.data() + text.size());
      ASSERT_EQ(found - text.data(), special ? static_cast<ptrdiff_t>(at) : 20)
          << "byte " << byte << " at " << at;
    }
  }
}

TEST_P(FindStringSpecial, StringsSurviveWriteAndRead) {
  const char filler = static_cast<char>(GetParam());
  for (const int byte : {0x00, 0x0A, 0x1F, 0x22, 0x5C, 0x7F, 0xA2, 0xDC}) {
    for (size_t at = 0; at < 20; ++at) {
      std::string text(19, filler);
      text.insert(at, 1, static_cast<char>(byte));
      Result<Value> back = read_json(to_json_text(Value::string(text)));
      ASSERT_TRUE(back.ok()) << back.status().ToString();
      ASSERT_EQ(back.value().as_string(), text) << "byte " << byte << " at " << at;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fillers, FindStringSpecial, testing::Values('a', 0x20, 0x80, 0xA2, 0xDC));

}  // namespace
}  // namespace trovik::json
