#include "report/page_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "json/reader.h"

namespace trovik::report {
namespace {

struct Quoted {
  const char* name;
  std::string text;
  std::string read_back;  // what JSON.parse gives, when not the text itself
};

class PageJsonString : public testing::TestWithParam<Quoted> {};

// Inside the page's data element a string must read back exactly, and never carry what would end
// the element or start a comment there.
TEST_P(PageJsonString, ReadsBackAndCannotLeaveTheDataElement) {
  const Quoted& quoted = GetParam();
  std::string out;
  append_page_json_string(out, quoted.text);
  EXPECT_EQ(out.find('<'), std::string::npos) << out;
  EXPECT_EQ(out.find('>'), std::string::npos) << out;
  EXPECT_EQ(out.find("\xE2\x80\xA8"), std::string::npos) << out;
  EXPECT_EQ(out.find("\xE2\x80\xA9"), std::string::npos) << out;
  Result<json::Value> parsed = json::read_json(out);
  ASSERT_TRUE(parsed.ok()) << out;
  EXPECT_EQ(parsed.value().as_string(), quoted.read_back.empty() ? quoted.text : quoted.read_back);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PageJsonString,
    testing::Values(Quoted{"script_end", "</script><script>alert(1)</script>", ""},
                    Quoted{"comment", "<!-- x --> & \"quoted\" \\", ""},
                    Quoted{"line_separators", "a\xE2\x80\xA8z\xE2\x80\xA9", ""},
                    Quoted{"controls", std::string("tab\tnew\nline\x01\x1f", 15), ""},
                    Quoted{"right_to_left",
                           "\xE2\x80\xAE"
                           "evil",
                           ""},
                    Quoted{"invalid_utf8",
                           "a\xFF"
                           "b",
                           "a\xEF\xBF\xBD"
                           "b"}),
    [](const testing::TestParamInfo<Quoted>& info) { return info.param.name; });

TEST(PageJsonNumber, RoundedNumbersStayShortAndFinite) {
  const std::pair<double, std::string> cases[] = {
      {0.055364750824420376, "0.0553648"},
      {1e-5, "1e-5"},
      {-2.5e300, "-2.5e300"},
      {std::numeric_limits<double>::max(), "1.79769e308"},
      {120, "120"},
      {NAN, "null"},
  };
  for (const auto& [value, expected] : cases) {
    std::string out;
    append_page_json_rounded(out, value, 6);
    EXPECT_EQ(out, expected);
  }
  std::string exact;
  append_page_json_number(exact, 0.055364750824420376);
  EXPECT_EQ(exact, "0.055364750824420376");
}

}  // namespace
}  // namespace trovik::report
