#include "report/html_text.h"

#include <gtest/gtest.h>

#include <string>

namespace trovik::report {
namespace {

struct EscapeCase {
  std::string text;
  std::string escaped;
};

class EscapeHtml : public testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeHtml, ReadsBackAsTheSameText) {
  EXPECT_EQ(escape_html(GetParam().text), GetParam().escaped);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EscapeHtml,
    testing::Values(EscapeCase{"plain text, ümlaut", "plain text, ümlaut"},
                    EscapeCase{"</script><script>alert(1)</script>",
                               "&lt;/script&gt;&lt;script&gt;alert(1)&lt;/script&gt;"},
                    EscapeCase{"\"><img src=x onerror=alert(1)>",
                               "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;"},
                    EscapeCase{"a='b' & c", "a=&#39;b&#39; &amp; c"},
                    EscapeCase{"&amp;", "&amp;amp;"},
                    EscapeCase{std::string("nul\0byte", 8),
                               "nul\xEF\xBF\xBD"
                               "byte"},
                    // Bytes of a binary diff: replaced, and the markup around them still escaped.
                    EscapeCase{"\xff<b>\xc3", "\xEF\xBF\xBD&lt;b&gt;\xEF\xBF\xBD"},
                    EscapeCase{"", ""}));

}  // namespace
}  // namespace trovik::report
