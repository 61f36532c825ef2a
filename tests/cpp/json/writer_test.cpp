#include "json/writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>

namespace trovik::json {
namespace {

// Joins pieces; GCC 12 misreads chains of std::string operator+ at -O3 (-Wrestrict).
std::string cat(std::initializer_list<std::string_view> pieces) {
  std::string out;
  for (std::string_view piece : pieces) out += piece;
  return out;
}

struct DoubleCase {
  double value;
  const char* text;
};

class WriteDouble : public testing::TestWithParam<DoubleCase> {};

TEST_P(WriteDouble, ShortestDigitsLaidOutByExponent) {
  std::string out = "x";
  write_double(GetParam().value, out);
  EXPECT_EQ(out, cat({"x", GetParam().text}));
  EXPECT_EQ(to_json_text(Value::number(GetParam().value)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, WriteDouble,
    testing::Values(DoubleCase{0.0, "0.0"}, DoubleCase{-0.0, "-0.0"}, DoubleCase{1.0, "1.0"},
                    DoubleCase{-2.5, "-2.5"}, DoubleCase{0.1, "0.1"}, DoubleCase{100.0, "100.0"},
                    DoubleCase{123.456, "123.456"}, DoubleCase{1.0 / 3, "0.3333333333333333"},
                    // Exponent 15 is the last positional one, 16 the first in exponent form.
                    DoubleCase{1e15, "1000000000000000.0"},
                    DoubleCase{1.5e15, "1500000000000000.0"},
                    DoubleCase{9999999999999998.0, "9999999999999998.0"},
                    DoubleCase{123456789012345.6, "123456789012345.6"}, DoubleCase{1e16, "1e+16"},
                    DoubleCase{1.2345678901234568e16, "1.2345678901234568e+16"},
                    DoubleCase{1e22, "1e+22"}, DoubleCase{1e100, "1e+100"},
                    DoubleCase{6.02214076e23, "6.02214076e+23"},
                    DoubleCase{18446744073709551616.0, "1.8446744073709552e+19"},
                    DoubleCase{-9223372036854775808.0, "-9.223372036854776e+18"},
                    // Exponent -5 is the last positional one, -6 the first in exponent form.
                    DoubleCase{0.00001, "0.00001"}, DoubleCase{-0.00001, "-0.00001"},
                    DoubleCase{1.5e-5, "0.000015"}, DoubleCase{1.2345e-5, "0.000012345"},
                    DoubleCase{0.000123, "0.000123"}, DoubleCase{0.000001, "1e-6"},
                    DoubleCase{2.5e-6, "2.5e-6"}, DoubleCase{1.5e-7, "1.5e-7"},
                    DoubleCase{1.602176634e-19, "1.602176634e-19"},
                    DoubleCase{std::numeric_limits<double>::max(), "1.7976931348623157e+308"},
                    DoubleCase{-std::numeric_limits<double>::max(), "-1.7976931348623157e+308"},
                    DoubleCase{std::numeric_limits<double>::min(), "2.2250738585072014e-308"},
                    DoubleCase{std::numeric_limits<double>::denorm_min(), "5e-324"},
                    DoubleCase{std::numeric_limits<double>::infinity(), "null"},
                    DoubleCase{-std::numeric_limits<double>::infinity(), "null"},
                    DoubleCase{std::numeric_limits<double>::quiet_NaN(), "null"}));

struct DigitsCase {
  const char* number;
  const char* text;  // nullptr: left to write_double
};

void PrintTo(const DigitsCase& c, std::ostream* os) { *os << c.number; }

class WriteDoubleDigits : public testing::TestWithParam<DigitsCase> {};

// The text's own digits give the very text write_double gives for the double it reads as, and the
// cases where that is not certain are refused.
TEST_P(WriteDoubleDigits, SameTextAsFromTheDouble) {
  std::string out = "x";
  const bool written = write_double_digits(GetParam().number, out);
  if (GetParam().text == nullptr) {
    EXPECT_FALSE(written) << out;
    EXPECT_EQ(out, "x");
    return;
  }
  ASSERT_TRUE(written);
  EXPECT_EQ(out, cat({"x", GetParam().text}));
  std::string from_double;
  write_double(std::strtod(GetParam().number, nullptr), from_double);
  EXPECT_EQ(from_double, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, WriteDoubleDigits,
    testing::Values(
        DigitsCase{"0.4158263", "0.4158263"}, DigitsCase{"-2.50", "-2.5"},
        // Already in the float form: taken as it is.
        DigitsCase{"10.0", "10.0"}, DigitsCase{"10.5", "10.5"}, DigitsCase{"0.00001", "0.00001"},
        DigitsCase{"-0.00012", "-0.00012"}, DigitsCase{"12345678901234.5", "12345678901234.5"},
        DigitsCase{"0.000123456789012345", "0.000123456789012345"},
        // Positional, but not in the float form.
        DigitsCase{"0.000001", "1e-6"}, DigitsCase{"0.10", "0.1"}, DigitsCase{"1.0000", "1.0"},
        DigitsCase{"1234567890123456.0", nullptr}, DigitsCase{"100.0", "100.0"},
        DigitsCase{"1E2", "100.0"}, DigitsCase{"0.000120", "0.00012"},
        DigitsCase{"1e-05", "0.00001"}, DigitsCase{"1.5e-07", "1.5e-7"},
        DigitsCase{"1e-06", "1e-6"}, DigitsCase{"1e+16", "1e+16"},
        DigitsCase{"12.5e14", "1250000000000000.0"}, DigitsCase{"1.25e16", "1.25e+16"},
        DigitsCase{"0.00001230e2", "0.00123"}, DigitsCase{"123456789012345", "123456789012345.0"},
        DigitsCase{"123456789012345.000", "123456789012345.0"},
        DigitsCase{"1000000000000000000000000.0", "1e+24"}, DigitsCase{"1e307", "1e+307"},
        DigitsCase{"-9.99e-307", "-9.99e-307"},
        // More than 15 significant digits: the text's digits may not be the shortest.
        DigitsCase{"0.10000000000000001", nullptr}, DigitsCase{"1234567890123456", nullptr},
        DigitsCase{"0.3333333333333333", nullptr},
        // Near the ends of the range, or zero.
        DigitsCase{"1e308", nullptr}, DigitsCase{"1e-308", nullptr}, DigitsCase{"2e-320", nullptr},
        DigitsCase{"0.0", nullptr}, DigitsCase{"-0.0", nullptr}, DigitsCase{"-0", nullptr},
        DigitsCase{"0e5", nullptr}, DigitsCase{"1e99999999999", nullptr}));

struct StringCase {
  std::string value;
  std::string text;
};

class WriteString : public testing::TestWithParam<StringCase> {};

TEST_P(WriteString, EscapesOnlyQuoteBackslashAndControlBytes) {
  EXPECT_EQ(to_json_text(Value::string(GetParam().value)), GetParam().text);
  // Keys are escaped the same way.
  Object object;
  object.insert(GetParam().value, Value::null());
  EXPECT_EQ(to_json_text(Value::object(object)), cat({"{", GetParam().text, ":null}"}));
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, WriteString,
    testing::Values(StringCase{"", R"("")"}, StringCase{"plain text", R"("plain text")"},
                    StringCase{"\"\\/\x1f", R"("\"\\/\u001f")"},
                    StringCase{std::string("\0", 1), R"("\u0000")"},
                    StringCase{"\x01\x07\x0b\x0e\x1b", R"("\u0001\u0007\u000b\u000e\u001b")"},
                    StringCase{"\b\t\n\f\r", R"("\b\t\n\f\r")"},
                    StringCase{"line one\nline two", R"("line one\nline two")"},
                    StringCase{"ab\"\"cd\\", R"("ab\"\"cd\\")"},
                    StringCase{"\x7f \x20~", "\"\x7f  ~\""},
                    StringCase{"caf\xc3\xa9 \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xf0\x9f\x98\x80\""},
                    StringCase{
                        cat({std::string(300, 'a'), "\n", std::string(300, 'b')}),
                        cat({"\"", std::string(300, 'a'), "\\n", std::string(300, 'b'), "\""})}));

TEST(WriteJson, IntegersExactly) {
  EXPECT_EQ(to_json_text(Value::unsigned_integer(0)), "0");
  EXPECT_EQ(to_json_text(Value::unsigned_integer(std::numeric_limits<uint64_t>::max())),
            "18446744073709551615");
  EXPECT_EQ(to_json_text(Value::negative_integer(-1)), "-1");
  EXPECT_EQ(to_json_text(Value::negative_integer(std::numeric_limits<int64_t>::min())),
            "-9223372036854775808");
  const std::string wide = "1" + std::string(5000, '0');
  EXPECT_EQ(to_json_text(Value::big_integer(wide)), wide);
  EXPECT_EQ(to_json_text(Value::array({Value::big_integer("-9223372036854775809")})),
            "[-9223372036854775809]");
  // Same digits, same value; a wide integer never equals a double of about its size.
  EXPECT_EQ(Value::big_integer("18446744073709551616"), Value::big_integer("18446744073709551616"));
  EXPECT_FALSE(Value::big_integer("18446744073709551616") == Value::number(0x1p64));
}

TEST(WriteJson, LiteralsAndContainers) {
  Array inner;
  inner.push_back(Value::null());
  inner.push_back(Value::boolean(true));
  inner.push_back(Value::boolean(false));
  inner.push_back(Value::array({}));
  inner.push_back(Value::object({}));
  Array outer;
  outer.push_back(Value::array(std::move(inner)));
  outer.push_back(Value::string("s"));
  outer.push_back(Value::number(2.0));
  EXPECT_EQ(to_json_text(Value::array(std::move(outer))), R"([[null,true,false,[],{}],"s",2.0])");
}

TEST(WriteJson, KeysInByteOrderWhateverTheInsertionOrder) {
  Object object;
  for (const char* key : {"b", "ab", "\xc3\xa9", "a", "~", "Z", "", "B"}) {
    object.insert(key, Value::unsigned_integer(object.size()));
  }
  object.insert("a", Value::string("again"));  // replaces, keeps one entry
  EXPECT_EQ(to_json_text(Value::object(std::move(object))),
            "{\"\":6,\"B\":7,\"Z\":5,\"a\":\"again\",\"ab\":1,\"b\":0,\"~\":4,\"\xc3\xa9\":2}");
}

TEST(WriteJson, AppendsToWhatIsThere) {
  std::string out = "prefix ";
  Object object;
  object.insert("k", Value::array({}));
  write_json(Value::object(std::move(object)), out);
  EXPECT_EQ(out, R"(prefix {"k":[]})");
}

}  // namespace
}  // namespace trovik::json
