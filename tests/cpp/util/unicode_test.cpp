#include "util/unicode.h"

#include <gtest/gtest.h>

#include <string>

namespace trovik {
namespace {

TEST(WhiteSpace, TheWhiteSpacePropertyExactly) {
  for (char32_t c : {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0x85, 0xA0, 0x1680, 0x2000, 0x2005, 0x200A,
                     0x2028, 0x2029, 0x202F, 0x205F, 0x3000}) {
    EXPECT_TRUE(is_white_space(c)) << std::hex << static_cast<uint32_t>(c);
  }
  for (char32_t c : {0x08, 0x0E, 0x1F, 0x21, 0x84, 0x86, 0x180E, 0x200B, 0x2060, 0xFEFF, 0x3001}) {
    EXPECT_FALSE(is_white_space(c)) << std::hex << static_cast<uint32_t>(c);
  }
}

TEST(WhiteSpace, TrimsOnlyWhereAsked) {
  EXPECT_EQ(trim_trailing_white_space("  abc \r\n"), "  abc");
  EXPECT_EQ(trim_trailing_white_space("x\u00A0\u3000"), "x");
  EXPECT_EQ(trim_trailing_white_space("x\u200B"), "x\u200B");
  EXPECT_EQ(trim_trailing_white_space(" \t\n"), "");
  EXPECT_EQ(trim_white_space("\u3000 a b \u2029"), "a b");
  EXPECT_EQ(trim_white_space("\u200B"), "\u200B");
  EXPECT_EQ(trim_white_space(""), "");
}

TEST(Utf8, Validity) {
  EXPECT_TRUE(is_valid_utf8(""));
  EXPECT_TRUE(is_valid_utf8("plain \xC3\xA9 \xF0\x9F\x98\x80"));
  EXPECT_FALSE(is_valid_utf8("\xFF"));
  EXPECT_FALSE(is_valid_utf8("\xC3"));              // truncated
  EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(is_valid_utf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
}

struct LossyCase {
  std::string input;
  std::string expected;
};

class LossyDecoding : public testing::TestWithParam<LossyCase> {};

TEST_P(LossyDecoding, ReplacesEachMaximalInvalidSubpart) {
  EXPECT_EQ(decode_utf8_lossy(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LossyDecoding,
    testing::Values(LossyCase{"abc", "abc"},
                    LossyCase{"a\xFF"
                              "b",
                              "a\uFFFD"
                              "b"},
                    LossyCase{"\xE2\x82", "\uFFFD"},  // one truncated sequence, one replacement
                    LossyCase{"\xE2\x82x", "\uFFFDx"}, LossyCase{"\xC0\xAF", "\uFFFD\uFFFD"},
                    LossyCase{"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},
                    LossyCase{"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
                    LossyCase{std::string("a\0b", 3), std::string("a\0b", 3)}));

struct CutCase {
  std::string text;
  size_t limit;
  std::string head;
  std::string tail;
};

class Utf8Cut : public testing::TestWithParam<CutCase> {};

// "é" is 2 bytes, "€" 3 and "😀" 4: a limit inside one drops the whole character.
TEST_P(Utf8Cut, KeepsWholeCharactersWithinTheLimit) {
  EXPECT_EQ(utf8_head(GetParam().text, GetParam().limit), GetParam().head);
  EXPECT_EQ(utf8_tail(GetParam().text, GetParam().limit), GetParam().tail);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8Cut,
    testing::Values(CutCase{"abc", 3, "abc", "abc"}, CutCase{"abc", 0, "", ""},
                    CutCase{"a\u20acb", 3, "a", "b"}, CutCase{"a\u20acb", 4, "a\u20ac", "\u20acb"},
                    CutCase{"\U0001F600\U0001F600", 7, "\U0001F600", "\U0001F600"},
                    CutCase{"\u00e9\u00e9", 1, "", ""}));

}  // namespace
}  // namespace trovik
