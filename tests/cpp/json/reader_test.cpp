#include "json/reader.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "json/writer.h"

namespace trovik::json {
namespace {

uint64_t bits_of(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

std::string read_error(std::string_view text) {
  Result<Value> result = read_json(text);
  if (result.ok()) return "accepted: " + to_json_text(result.value());
  EXPECT_EQ(result.status().kind(), ErrorKind::kValueError);
  return result.status().message();
}

// --- whole values, checked through their written form -----------------------------------------

struct TextCase {
  std::string input;
  std::string written;
};

class ReadValue : public testing::TestWithParam<TextCase> {};

TEST_P(ReadValue, WritesBackCanonically) {
  Result<Value> result = read_json(GetParam().input);
  ASSERT_TRUE(result.ok()) << result.status().ToString();
  EXPECT_EQ(to_json_text(result.value()), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadValue,
    testing::Values(
        TextCase{"null", "null"}, TextCase{" true ", "true"}, TextCase{"\t\r\nfalse\n", "false"},
        TextCase{"[]", "[]"}, TextCase{"{}", "{}"}, TextCase{"[ ]", "[]"}, TextCase{"{ \n }", "{}"},
        TextCase{R"("")", R"("")"},
        TextCase{R"([1, -2, 3.5, "x", null, true, false, [], {}])",
                 R"([1,-2,3.5,"x",null,true,false,[],{}])"},
        TextCase{" [ 1 ,\n\t2 ] \r\n", "[1,2]"},
        TextCase{R"({"b": 1, "a": 2})", R"({"a":2,"b":1})"},
        TextCase{R"({"a": 1, "b": 2, "a": 3})", R"({"a":3,"b":2})"},
        TextCase{R"({"1": "x", "1": "y"})", R"({"1":"y"})"},
        TextCase{R"({"a": {"c": [{}], "b": []}, "": 0})", R"({"":0,"a":{"b":[],"c":[{}]}})"},
        TextCase{R"(["\"\\\/\b\f\n\r\t"])", R"(["\"\\/\b\f\n\r\t"])"},
        TextCase{R"("\u0000\u001F\u007f")", "\"\\u0000\\u001f\x7f\""},
        TextCase{R"("caf\u00e9 caf\u00E9 café")", "\"caf\xc3\xa9 caf\xc3\xa9 caf\xc3\xa9\""},
        TextCase{R"("\u0041\u07ff\u0800\uffff")", "\"A\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf\""},
        TextCase{R"("\ud83d\ude00 \uD800\uDC00 \uDBFF\uDFFF")",
                 "\"\xf0\x9f\x98\x80 \xf0\x90\x80\x80 \xf4\x8f\xbf\xbf\""},
        TextCase{R"(["a\u0041b", "plain"])", R"(["aAb","plain"])"}));

// --- numbers ------------------------------------------------------------------------------------

struct NumberCase {
  const char* text;
  Value::Type type;
  uint64_t u = 0;  // for kUnsigned
  int64_t i = 0;   // for kNegative
  double d = 0;    // for kDouble, compared bit for bit
};

NumberCase U(const char* text, uint64_t u) { return {text, Value::Type::kUnsigned, u}; }
NumberCase I(const char* text, int64_t i) { return {text, Value::Type::kNegative, 0, i}; }
NumberCase D(const char* text, double d) { return {text, Value::Type::kDouble, 0, 0, d}; }
// An integer beyond 64 bits: kept as its own text.
NumberCase B(const char* text) { return {text, Value::Type::kBigInteger}; }

class ReadNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(ReadNumber, KindAndExactValue) {
  const NumberCase& c = GetParam();
  Result<Value> result = read_json(c.text);
  ASSERT_TRUE(result.ok()) << result.status().ToString();
  const Value& value = result.value();
  ASSERT_EQ(value.type(), c.type) << to_json_text(value);
  switch (c.type) {
    case Value::Type::kUnsigned:
      EXPECT_EQ(value.as_unsigned(), c.u);
      break;
    case Value::Type::kNegative:
      EXPECT_EQ(value.as_negative(), c.i);
      break;
    case Value::Type::kBigInteger:
      EXPECT_EQ(value.as_big_integer(), c.text);
      break;
    default:
      EXPECT_EQ(bits_of(value.as_double()), bits_of(c.d)) << to_json_text(value);
  }
}

constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kTiny = std::numeric_limits<double>::denorm_min();

INSTANTIATE_TEST_SUITE_P(
    Boundaries, ReadNumber,
    testing::Values(
        U("0", 0), U("7", 7), U("18446744073709551615", std::numeric_limits<uint64_t>::max()),
        U("9223372036854775808", uint64_t{1} << 63), B("18446744073709551616"),
        B("184467440737095516150"), B("340282366920938463463374607431768211455"), I("-1", -1),
        I("-9223372036854775807", -9223372036854775807),
        I("-9223372036854775808", std::numeric_limits<int64_t>::min()), B("-9223372036854775809"),
        B("-18446744073709551615"), B("-18446744073709551616"), D("18446744073709551616.0", 0x1p64),
        D("-9223372036854775809e0", -0x1p63), D("-0", -0.0), D("-0.0", -0.0), D("0.0", 0.0),
        D("0e0", 0.0), D("-0E-0", -0.0), D("1.0", 1.0), D("1E2", 100.0), D("1e+2", 100.0),
        D("25e-1", 2.5), D("0.1", 0.1), D("123.456", 123.456), D("6.02214076e+23", 6.02214076e23),
        D("1.602176634e-19", 1.602176634e-19), B("1000000000000000000000000000000"),
        D("1000000000000000000000000000000.0", 1e30), D("1e308", 1e308),
        D("1.7976931348623157e308", kMax), D("1.7976931348623158e308", kMax),
        D("2.2250738585072014e-308", 2.2250738585072014e-308), D("5e-324", kTiny),
        D("-5e-324", -kTiny), D("4e-324", kTiny), D("2.4703282292062328e-324", kTiny),
        D("2.4703282292062327e-324", 0.0), D("-2.4703282292062327e-324", -0.0), D("1e-400", 0.0),
        D("-1e-400", -0.0), D("1e-99999999999", 0.0), D("-1e-99999999999", -0.0),
        D("0e99999999999", 0.0), D("-0.000e99999999999999999999", -0.0),
        D("1e0000000000000000000000000005", 1e5), D("0.00000000000000000000000000000001e32", 1.0),
        D("1000000000000000000000000000000e-30", 1.0),
        // Halfway between two doubles: ties go to the even significand, and any later
        // non-zero digit breaks the tie upwards.
        D("9007199254740993e0", 9007199254740992.0),
        D("9007199254740993.0000000000000000000000001", 9007199254740994.0),
        D("9007199254740995.0", 9007199254740996.0)));

// A double's shortest text, as the library gives it, reads back as the very same double.
TEST(ReadNumberRoundTrip, RandomDoublesBitExact) {
  std::mt19937_64 random(20240611);
  for (int i = 0; i < 200000; ++i) {
    uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d)) continue;
    char text[40];
    const auto end = std::to_chars(text, text + sizeof text, d).ptr;
    std::string shortest(text, end);
    // A bare integer text may read as an integer: give it an exponent so it stays a double.
    if (shortest.find_first_of(".e") == std::string::npos) shortest += "e0";
    Result<Value> from_shortest = read_json(shortest);
    ASSERT_TRUE(from_shortest.ok()) << shortest;
    ASSERT_EQ(bits_of(from_shortest.value().as_double()), bits) << shortest;

    std::string written;
    write_double(d, written);
    Result<Value> from_written = read_json(written);
    ASSERT_TRUE(from_written.ok()) << written;
    ASSERT_EQ(from_written.value().type(), Value::Type::kDouble) << written;
    ASSERT_EQ(bits_of(from_written.value().as_double()), bits) << written;
  }
}

// Decimal texts of every length and scale convert as glibc's strtod converts them (it rounds
// correctly): to the nearest double, to zero below the subnormals, out of range above the max.
TEST(ReadNumberRoundTrip, AgreesWithStrtodOnRandomDecimals) {
  std::mt19937_64 random(977);
  const auto below = [&random](int n) { return static_cast<int>(random() % n); };
  for (int i = 0; i < 100000; ++i) {
    std::string text = below(2) ? "-" : "";
    const int length = 1 + below(below(4) == 0 ? 60 : 20);
    std::string digits;
    for (int k = 0; k < length; ++k) digits += static_cast<char>('0' + below(10));
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
    const int point = below(static_cast<int>(digits.size()) + 1);
    if (point == 0) text += "0.";
    text.append(digits, 0, point);
    if (point > 0 && point < static_cast<int>(digits.size())) text += '.';
    text.append(digits, point);
    text += below(2) ? "e" : "E";
    text += std::to_string(below(720) - 360);

    const double expected = std::strtod(text.c_str(), nullptr);
    Result<Value> result = read_json(text);
    if (std::isinf(expected)) {
      ASSERT_FALSE(result.ok()) << text;
      ASSERT_EQ(result.status().message(),
                "number out of range at line 1 column " + std::to_string(text.size()));
    } else {
      ASSERT_TRUE(result.ok()) << text << ": " << result.status().ToString();
      ASSERT_EQ(bits_of(result.value().as_double()), bits_of(expected)) << text;
    }
  }
}

// --- errors -------------------------------------------------------------------------------------

struct ErrorCase {
  std::string input;
  std::string message;
};

class ReadError : public testing::TestWithParam<ErrorCase> {};

TEST_P(ReadError, DescriptionAndPosition) {
  EXPECT_EQ(read_error(GetParam().input), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadError,
    testing::Values(
        // What a json.dumps output can hold.
        ErrorCase{"NaN", "expected value at line 1 column 1"},
        ErrorCase{"Infinity", "expected value at line 1 column 1"},
        ErrorCase{"[1.0, Infinity]", "expected value at line 1 column 7"},
        ErrorCase{"-Infinity", "invalid number at line 1 column 2"},
        ErrorCase{"{\"a\": [NaN]}", "expected value at line 1 column 8"},
        ErrorCase{std::string(310, '9') + ".0", "number out of range at line 1 column 312"},
        ErrorCase{std::string(309, '9') + "e0", "number out of range at line 1 column 311"},
        ErrorCase{"1e309", "number out of range at line 1 column 5"},
        ErrorCase{"[-1.7976931348623159e308]", "number out of range at line 1 column 24"},
        ErrorCase{"1e99999999999", "number out of range at line 1 column 13"},
        ErrorCase{"0.001e99999999999", "number out of range at line 1 column 17"},
        ErrorCase{R"("\udc00")", "lone leading surrogate in hex escape at line 1 column 7"},
        ErrorCase{R"("a\ud800")", "unexpected end of hex escape at line 1 column 9"},
        ErrorCase{R"("\ud800x")", "unexpected end of hex escape at line 1 column 8"},
        ErrorCase{R"("\ud800\n")", "unexpected end of hex escape at line 1 column 9"},
        ErrorCase{R"("\ud800\u0041")", "lone leading surrogate in hex escape at line 1 column 13"},
        ErrorCase{R"("\ud800\ud800")", "lone leading surrogate in hex escape at line 1 column 13"},
        ErrorCase{R"(["ok", "\uDFFF"])",
                  "lone leading surrogate in hex escape at line 1 column 14"},
        ErrorCase{"1 2", "trailing characters at line 1 column 3"},
        ErrorCase{"[1]]", "trailing characters at line 1 column 4"},
        ErrorCase{"{}\n x", "trailing characters at line 2 column 2"},
        ErrorCase{"1.5.3", "trailing characters at line 1 column 4"},
        ErrorCase{"0x10", "trailing characters at line 1 column 2"},
        // Text that is not JSON at all.
        ErrorCase{"", "EOF while parsing a value at line 1 column 0"},
        ErrorCase{"   ", "EOF while parsing a value at line 1 column 3"},
        ErrorCase{"\n\n", "EOF while parsing a value at line 3 column 0"},
        ErrorCase{"-", "EOF while parsing a value at line 1 column 1"},
        ErrorCase{"1.", "EOF while parsing a value at line 1 column 2"},
        ErrorCase{"1e", "EOF while parsing a value at line 1 column 2"},
        ErrorCase{"[1.5E-", "EOF while parsing a value at line 1 column 6"},
        ErrorCase{"nul", "EOF while parsing a value at line 1 column 3"},
        ErrorCase{"[1,", "EOF while parsing a value at line 1 column 3"},
        ErrorCase{"{\"a\": ", "EOF while parsing a value at line 1 column 6"},
        ErrorCase{"[", "EOF while parsing a list at line 1 column 1"},
        ErrorCase{"[1 ", "EOF while parsing a list at line 1 column 3"},
        ErrorCase{"[[]", "EOF while parsing a list at line 1 column 3"},
        ErrorCase{"{", "EOF while parsing an object at line 1 column 1"},
        ErrorCase{"{\"a\"", "EOF while parsing an object at line 1 column 4"},
        ErrorCase{"{\"a\":1", "EOF while parsing an object at line 1 column 6"},
        ErrorCase{"{\"a\":1,", "EOF while parsing an object at line 1 column 7"},
        ErrorCase{"\"abc", "EOF while parsing a string at line 1 column 4"},
        ErrorCase{"\"\\", "EOF while parsing a string at line 1 column 2"},
        ErrorCase{"\"\\u12", "EOF while parsing a string at line 1 column 5"},
        ErrorCase{"\"\\ud800", "EOF while parsing a string at line 1 column 7"},
        ErrorCase{"\"\\ud800\\", "EOF while parsing a string at line 1 column 8"},
        ErrorCase{"\"\\ud800\\udc", "EOF while parsing a string at line 1 column 11"},
        ErrorCase{"{\"a\" 1}", "expected `:` at line 1 column 6"},
        ErrorCase{"[1 2]", "expected `,` or `]` at line 1 column 4"},
        ErrorCase{"[1}", "expected `,` or `]` at line 1 column 3"},
        ErrorCase{"{\"a\":1 \"b\":2}", "expected `,` or `}` at line 1 column 8"},
        ErrorCase{"{\"a\":1]", "expected `,` or `}` at line 1 column 7"},
        ErrorCase{"{1:2}", "key must be a string at line 1 column 2"},
        ErrorCase{"{\"a\":1, b:2}", "key must be a string at line 1 column 9"},
        ErrorCase{"[1,]", "trailing comma at line 1 column 4"},
        ErrorCase{"[1,\n]", "trailing comma at line 2 column 1"},
        ErrorCase{"{\"a\":1 , }", "trailing comma at line 1 column 10"},
        ErrorCase{"nulL", "expected ident at line 1 column 4"},
        ErrorCase{"[tru]", "expected ident at line 1 column 5"},
        ErrorCase{"fals e", "expected ident at line 1 column 5"},
        ErrorCase{"\"\\x\"", "invalid escape at line 1 column 3"},
        ErrorCase{"\"\\U0041\"", "invalid escape at line 1 column 3"},
        ErrorCase{"\"\\u12G4\"", "invalid escape at line 1 column 6"},
        ErrorCase{"\"a\tb\"",
                  "control character (\\u0000-\\u001F) found while parsing a string at line 1 "
                  "column 3"},
        ErrorCase{std::string("\"\0\"", 3),
                  "control character (\\u0000-\\u001F) found while parsing a string at line 1 "
                  "column 2"},
        ErrorCase{"[\"a\nb\"]",
                  "control character (\\u0000-\\u001F) found while parsing a string at line 2 "
                  "column 0"},
        ErrorCase{"01", "invalid number at line 1 column 2"},
        ErrorCase{"-01", "invalid number at line 1 column 3"},
        ErrorCase{"-x", "invalid number at line 1 column 2"},
        ErrorCase{"[-]", "invalid number at line 1 column 3"},
        ErrorCase{"1.e5", "invalid number at line 1 column 3"},
        ErrorCase{"1ex", "invalid number at line 1 column 3"},
        ErrorCase{"1e+-1", "invalid number at line 1 column 4"},
        ErrorCase{".5", "expected value at line 1 column 1"},
        ErrorCase{"+1", "expected value at line 1 column 1"},
        ErrorCase{"[\n1,\n  x]", "expected value at line 3 column 3"},
        ErrorCase{"\xef\xbb\xbf{}", "expected value at line 1 column 1"},
        ErrorCase{"'a'", "expected value at line 1 column 1"}));

// --- nesting ------------------------------------------------------------------------------------

std::string nested_arrays(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

std::string nested_objects(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "{\"k\": ";
  text += "1";
  text += std::string(depth, '}');
  return text;
}

TEST(ReadNesting, Depth127IsRead) {
  for (const std::string& text : {nested_arrays(127), nested_objects(127)}) {
    Result<Value> result = read_json(text);
    ASSERT_TRUE(result.ok()) << result.status().ToString();
    std::string compact = text;
    std::erase(compact, ' ');
    EXPECT_EQ(to_json_text(result.value()), compact);
  }
}

TEST(ReadNesting, Depth128IsRefusedAtTheOpeningBracket) {
  EXPECT_EQ(read_error(nested_arrays(128)), "recursion limit exceeded at line 1 column 128");
  EXPECT_EQ(read_error(nested_objects(128)), "recursion limit exceeded at line 1 column 763");
  EXPECT_EQ(read_error("[{\"a\":" + nested_arrays(126) + "}]"),
            "recursion limit exceeded at line 1 column 132");
  EXPECT_EQ(read_error(std::string(10000, '[')), "recursion limit exceeded at line 1 column 128");
}

TEST(ReadNesting, ClosedContainersFreeTheirLevel) {
  std::string text = "[";
  for (int i = 0; i < 300; ++i) {
    if (i > 0) text += ',';
    text += nested_arrays(126);
  }
  text += "]";
  Result<Value> result = read_json(text);
  ASSERT_TRUE(result.ok()) << result.status().ToString();
  EXPECT_EQ(result.value().as_array().size(), 300u);
}

TEST(ReadValue, LongStringsAndManyMembers) {
  std::string text = "{";
  for (int i = 999; i >= 0; --i) {
    text += "\"key" + std::to_string(i) + "\": \"" + std::string(i, 'v') + "\\n\"";
    if (i) text += ", ";
  }
  text += "}";
  Result<Value> result = read_json(text);
  ASSERT_TRUE(result.ok()) << result.status().ToString();
  const Object& object = result.value().as_object();
  ASSERT_EQ(object.size(), 1000u);
  EXPECT_EQ(object.begin()->first, "key0");
  const Value* member = object.find("key500");
  ASSERT_NE(member, nullptr);
  EXPECT_EQ(member->as_string(), std::string(500, 'v') + "\n");
}

}  // namespace
}  // namespace trovik::json
