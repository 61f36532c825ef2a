#include "util/quote.h"

#include <gtest/gtest.h>

#include <string>

namespace trovik {
namespace {

struct QuoteCase {
  std::string text;
  std::string quoted;
};

class TerminalQuote : public testing::TestWithParam<QuoteCase> {};

TEST_P(TerminalQuote, ShowsControlsAndDirectionChangesAsEscapes) {
  EXPECT_EQ(terminal_quoted(GetParam().text), GetParam().quoted);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TerminalQuote,
    testing::Values(
        QuoteCase{"loss=0.5 ümlaut 学习 \\n stays", "loss=0.5 ümlaut 学习 \\n stays"},
        QuoteCase{"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        QuoteCase{"\x1b]0;title\x07 \x1b[2J", "\\x1b]0;title\\x07 \\x1b[2J"},
        QuoteCase{std::string("nul\0", 4) + "\x7f", "nul\\x00\\x7f"},
        // C1 controls are code points U+0080..U+009F, two bytes each in UTF-8.
        QuoteCase{"\xC2\x85\xC2\x9B", "\\u0085\\u009b"},
        QuoteCase{"id \xE2\x80\xAE"
                  "cba",
                  "id \\u202ecba"},
        QuoteCase{"\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\xAA\xE2\x81\xA6\xE2\x81\xA9",
                  "\\u061c\\u200e\\u200f\\u202a\\u2066\\u2069"},
        // Neighbours of the escaped ranges are ordinary text.
        QuoteCase{"\xE2\x80\xA9\xE2\x81\xAA\xC2\xA0", "\xE2\x80\xA9\xE2\x81\xAA\xC2\xA0"},
        QuoteCase{"\xff\x1b\xc3", "\xEF\xBF\xBD\\x1b\xEF\xBF\xBD"}, QuoteCase{"", ""}));

class JsonForPage : public testing::TestWithParam<QuoteCase> {};

TEST_P(JsonForPage, CannotEndOrBendTheScriptElement) {
  const std::string quoted = json_for_page(GetParam().text);
  EXPECT_EQ(quoted, GetParam().quoted);
  EXPECT_EQ(quoted.find("</"), std::string::npos);
  EXPECT_EQ(quoted.find("<!--"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JsonForPage,
    testing::Values(QuoteCase{R"({"a":[1,2.5,"x"]})", R"({"a":[1,2.5,"x"]})"},
                    QuoteCase{
                        R"(["</script><script>alert(1)</script>"])",
                        R"(["\u003c/script\u003e\u003cscript\u003ealert(1)\u003c/script\u003e"])"},
                    QuoteCase{R"(["<!-- a & b -->"])", R"(["\u003c!-- a \u0026 b --\u003e"])"},
                    QuoteCase{"[\"line\xE2\x80\xA8sep\xE2\x80\xA9para\xE2\x80\xAAkept\"]",
                              "[\"line\\u2028sep\\u2029para\xE2\x80\xAAkept\"]"}));

TEST(HtmlQuote, MarkupAndInvalidBytesBecomeText) {
  EXPECT_EQ(html_quoted("<a href='x'>&\"</a>"), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;&lt;/a&gt;");
  EXPECT_EQ(html_quoted(std::string("\xff<\0", 3)), "\xEF\xBF\xBD&lt;\xEF\xBF\xBD");
}

}  // namespace
}  // namespace trovik
