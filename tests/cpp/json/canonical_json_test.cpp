// write_canonical_json must agree byte for byte with reading into a tree and writing it back, and
// fail exactly as the reader fails. The texts come from tables, the fuzz seed corpus and a
// generator of random values aimed at what tells the two paths apart: member order, repeated keys
// (also when spelled with different escapes), nesting, escapes and numbers at their boundaries.

#include "json/canonical_json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "json/reader.h"
#include "json/writer.h"

namespace trovik::json {
namespace {

// What is already in the buffer must stay in front of the appended text, and stay alone on failure.
constexpr std::string_view kPrefix = "{\"before\":";

// Empty when both paths agree, else a description of the difference.
std::string disagreement(std::string_view text) {
  std::string out(kPrefix);
  const Status status = write_canonical_json(text, out);
  Result<Value> tree = read_json(text);
  if (tree.ok()) {
    if (!status.ok()) return "refused: " + status.ToString();
    const std::string expected = std::string(kPrefix) + to_json_text(tree.value());
    if (out != expected) return "wrote " + out + "\n expected " + expected;
    return "";
  }
  if (status.ok()) return "accepted what the reader refuses: " + tree.status().ToString();
  if (status.kind() != tree.status().kind() || status.message() != tree.status().message()) {
    return "error " + status.ToString() + "\n expected " + tree.status().ToString();
  }
  if (out != kPrefix) return "failure changed the buffer: " + out;
  return "";
}

struct TextCase {
  std::string input;
  std::string written;  // empty: refused
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.input; }

class Canonical : public testing::TestWithParam<TextCase> {};

TEST_P(Canonical, WritesTheTreeText) {
  EXPECT_EQ(disagreement(GetParam().input), "") << GetParam().input;
  std::string out;
  const Status status = write_canonical_json(GetParam().input, out);
  if (GetParam().written.empty()) {
    EXPECT_FALSE(status.ok()) << out;
  } else {
    EXPECT_EQ(out, GetParam().written);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Canonical,
    testing::Values(
        TextCase{R"({"b": 1, "a": 2})", R"({"a":2,"b":1})"},
        TextCase{R"({"a": 1, "b": 2, "a": 3})", R"({"a":3,"b":2})"},
        TextCase{R"({"a": 1, "a": 2, "a": 3})", R"({"a":3})"},
        TextCase{R"({"a": 1, "b": 2, "c": 3})", R"({"a":1,"b":2,"c":3})"},
        // A key decoded from escapes sorts and repeats by its decoded bytes.
        TextCase{R"({"\u0041": 1, "A": 2})", R"({"A":2})"},
        TextCase{R"({"a": 1, "\n": 2, "\u00e9": 3, "Z": 4})",
                 "{\"\\n\":2,\"Z\":4,\"a\":1,\"\xc3\xa9\":3}"},
        TextCase{R"({"ab": 1, "a": 2, "": 3})", R"({"":3,"a":2,"ab":1})"},
        // Objects inside out-of-order objects, themselves out of order and with repeats.
        TextCase{
            R"({"z": {"y": [1, {"k": 2, "j": 3}], "x": null, "y": "again"}, "a": [{"q": 1, "p": 2}]})",
            R"({"a":[{"p":2,"q":1}],"z":{"x":null,"y":"again"}})"},
        TextCase{R"({"k": {"b": 1, "a": 2}, "k": {"d": 3, "c": 4}})", R"({"k":{"c":4,"d":3}})"},
        TextCase{R"([{}, {"b": {}, "a": []}, [], 1e2, -0, 0.1])",
                 R"([{},{"a":[],"b":{}},[],100.0,-0.0,0.1])"},
        TextCase{R"("\ud83d\ude00 \/ \u001F")", "\"\xf0\x9f\x98\x80 / \\u001f\""},
        TextCase{" 18446744073709551615 ", "18446744073709551615"},
        TextCase{"[18446744073709551616, -9223372036854775808, -9223372036854775809]",
                 "[18446744073709551616,-9223372036854775808,-9223372036854775809]"},
        TextCase{R"({"seed": 100000000000000000001, "id": [-1e20, 1e20]})",
                 R"({"id":[-1e+20,1e+20],"seed":100000000000000000001})"},
        TextCase{R"({"b": 1, "a": NaN})", ""},
        TextCase{R"({"b": {"d": 1, "c": 2}, "a": [1,]})", ""}, TextCase{R"({"b": 1, "a": 2)", ""}));

std::vector<std::filesystem::path> corpus_files() {
  const auto dir =
      std::filesystem::path(TROVIK_TEST_DATA_DIR).parent_path().parent_path() / "fuzz" / "corpus";
  std::vector<std::filesystem::path> files;
  std::error_code error;  // a missing directory leaves the list empty, which the test reports
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(CanonicalCorpus, AgreesOnEveryFile) {
  const auto files = corpus_files();
  ASSERT_GE(files.size(), 20u);
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(disagreement(text), "") << file.filename();
  }
}

// Random JSON-like texts: mostly valid, some broken on purpose, so that both the written bytes and
// the errors are compared.
class TextGenerator {
 public:
  explicit TextGenerator(uint32_t seed) : random_(seed) {}

  std::string text() {
    std::string out;
    space(out);
    value(out, 0);
    space(out);
    switch (below(12)) {
      case 0:  // cut short
        out.resize(below(static_cast<uint32_t>(out.size()) + 1));
        break;
      case 1:  // one byte replaced
        if (!out.empty()) out[below(static_cast<uint32_t>(out.size()))] = pick(kBreakers);
        break;
      case 2:
        out += pick(kBreakers);
        break;
      default:
        break;
    }
    return out;
  }

 private:
  static constexpr std::string_view kBreakers = "[]{},:\"\\ -.e0aZ";

  uint32_t below(uint32_t n) { return static_cast<uint32_t>(random_() % n); }
  char pick(std::string_view bytes) { return bytes[below(static_cast<uint32_t>(bytes.size()))]; }

  void space(std::string& out) {
    while (below(4) == 0) out += pick(" \t\r\n");
  }

  void value(std::string& out, int depth) {
    // Deep chains now and then, up to and past the nesting limit.
    if (depth == 0 && below(40) == 0) {
      const int levels = 120 + static_cast<int>(below(12));
      std::string closing;
      for (int i = 0; i < levels; ++i) {
        const bool array = below(2) == 0;
        out += array ? "[" : "{\"k\":";
        closing.insert(closing.begin(), array ? ']' : '}');
      }
      out += "1";
      if (below(4) != 0) out += closing;  // else left open
      return;
    }
    const uint32_t choice = depth > 6 ? below(6) : below(9);
    switch (choice) {
      case 0:
        out += pick_word();
        return;
      case 1:
      case 2:
        number(out);
        return;
      case 3:
      case 4:
      case 5:
        string(out);
        return;
      case 6:
      case 7:
        object(out, depth);
        return;
      default:
        array(out, depth);
        return;
    }
  }

  std::string pick_word() {
    static const char* const kWords[] = {"null", "true", "false"};
    return kWords[below(3)];
  }

  void number(std::string& out) {
    static const char* const kEdges[] = {"0",
                                         "-0",
                                         "-0.0",
                                         "0.0",
                                         "1",
                                         "-1",
                                         "18446744073709551615",
                                         "18446744073709551616",
                                         "-9223372036854775808",
                                         "-9223372036854775809",
                                         "9223372036854775807",
                                         "184467440737095516150",
                                         "1e308",
                                         "1.7976931348623157e308",
                                         "1.7976931348623159e308",
                                         "1e309",
                                         "-1e309",
                                         "5e-324",
                                         "2.4703282292062328e-324",
                                         "2.4703282292062327e-324",
                                         "1e-400",
                                         "1e-5",
                                         "1e-6",
                                         "1.5e-5",
                                         "1e15",
                                         "1e16",
                                         "1E+2",
                                         "25e-1",
                                         "0.1",
                                         "123.456",
                                         "1e99999999999",
                                         "1e-99999999999",
                                         "100000000000000000000000000000000",
                                         "0.30000000000000004",
                                         "9007199254740993",
                                         "9007199254740993.0",
                                         "-2.5"};
    if (below(3) == 0) {
      out += kEdges[below(std::size(kEdges))];
      return;
    }
    if (below(2)) out += '-';
    const uint32_t digits = 1 + below(below(4) == 0 ? 25 : 6);
    out += static_cast<char>('1' + below(9));
    for (uint32_t i = 1; i < digits; ++i) out += static_cast<char>('0' + below(10));
    if (below(3) == 0) {
      out += '.';
      for (uint32_t i = below(8) + 1; i > 0; --i) out += static_cast<char>('0' + below(10));
    }
    if (below(4) == 0) {
      out += below(2) ? 'e' : 'E';
      if (below(2)) out += below(2) ? '+' : '-';
      out += std::to_string(below(400));
    }
  }

  void string(std::string& out) {
    out += '"';
    content(out);
    out += '"';
  }

  // Plain bytes, raw UTF-8 and every kind of escape, including surrogates paired and unpaired.
  void content(std::string& out) {
    static const char* const kPieces[] = {"a",
                                          "b",
                                          "Z",
                                          "key",
                                          " ",
                                          "/",
                                          "\x7f",
                                          "\xc3\xa9",
                                          "\xf0\x9f\x98\x80",
                                          "\\\"",
                                          "\\\\",
                                          "\\/",
                                          "\\b",
                                          "\\f",
                                          "\\n",
                                          "\\r",
                                          "\\t",
                                          "\\u0000",
                                          "\\u001f",
                                          "\\u0041",
                                          "\\u00E9",
                                          "\\u20ac",
                                          "\\ud83d\\ude00",
                                          "\\uDBFF\\uDFFF",
                                          "\\udc00",
                                          "\\ud800",
                                          "\\ud800x"};
    const uint32_t pieces = below(5);
    for (uint32_t i = 0; i < pieces; ++i) {
      // Unpaired surrogates are rare, so that most texts still read.
      const uint32_t limit = below(30) == 0 ? std::size(kPieces) : std::size(kPieces) - 3;
      out += kPieces[below(limit)];
    }
  }

  // Keys from a small set, so that repeats are common; "A" and "\u0041" are the same key.
  void key(std::string& out) {
    static const char* const kKeys[] = {"a", "b",   "ab",       "",        "A",        "\\u0041",
                                        "z", "\\n", "\xc3\xa9", "\\u00e9", "a\\u0000", "k"};
    out += '"';
    out += kKeys[below(std::size(kKeys))];
    if (below(5) == 0) out += std::to_string(below(20));
    out += '"';
  }

  void object(std::string& out, int depth) {
    out += '{';
    space(out);
    const uint32_t members = below(below(5) == 0 ? 30 : 6);
    for (uint32_t i = 0; i < members; ++i) {
      if (i > 0) {
        out += ',';
        space(out);
      }
      key(out);
      space(out);
      out += ':';
      space(out);
      value(out, depth + 1);
      space(out);
    }
    out += '}';
  }

  void array(std::string& out, int depth) {
    out += '[';
    space(out);
    const uint32_t elements = below(6);
    for (uint32_t i = 0; i < elements; ++i) {
      if (i > 0) {
        out += ',';
        space(out);
      }
      value(out, depth + 1);
      space(out);
    }
    out += ']';
  }

  std::mt19937 random_;
};

// Decimal numbers of every length and scale, with leading and trailing zeros, and the shortest
// texts of random doubles: the canonical writer takes some of them from their own digits, and those
// must agree with the digits of the double read from them.
TEST(CanonicalNumbers, AgreeWithTheTree) {
  std::mt19937_64 random(7);
  const auto below = [&random](uint64_t n) { return static_cast<int>(random() % n); };
  for (int i = 0; i < 200000; ++i) {
    std::string text = below(2) ? "-" : "";
    if (below(5) == 0) {
      // Small numbers with the zeros of their scale, as json.dumps writes them.
      text += "0." + std::string(static_cast<size_t>(below(8)), '0');
      for (int k = 1 + below(17); k > 0; --k) text += static_cast<char>('0' + below(10));
    } else if (below(4) == 0) {
      uint64_t bits = random();
      double d;
      std::memcpy(&d, &bits, sizeof d);
      if (!std::isfinite(d)) continue;
      char shortest[40];
      text = std::string(shortest, std::to_chars(shortest, shortest + sizeof shortest, d).ptr);
      if (text.find_first_of(".e") == std::string::npos) text += ".0";
    } else {
      std::string digits(static_cast<size_t>(1 + below(below(3) == 0 ? 20 : 16)), '0');
      for (char& c : digits) c = static_cast<char>('0' + below(10));
      if (below(3) == 0) digits += std::string(static_cast<size_t>(below(5)), '0');
      const int point = below(static_cast<uint64_t>(digits.size()));
      std::string integer = digits.substr(0, static_cast<size_t>(point) + 1);
      integer.erase(0, std::min(integer.find_first_not_of('0'), integer.size() - 1));
      text += integer;
      if (point + 1 < static_cast<int>(digits.size()) || below(2)) {
        text += '.';
        text += point + 1 < static_cast<int>(digits.size()) ? digits.substr(point + 1) : "0";
      }
      if (below(3) != 0) {
        text += below(2) ? "e" : "E";
        const int exponent = below(700) - 350;
        text += exponent >= 0 && below(2) ? "+" : "";
        text += std::to_string(exponent);
      }
    }
    ASSERT_EQ(disagreement(text), "") << text;
  }
}

class CanonicalRandom : public testing::TestWithParam<uint32_t> {};

TEST_P(CanonicalRandom, AgreesWithTheTree) {
  TextGenerator generator(GetParam());
  int accepted = 0;
  int refused = 0;
  for (int i = 0; i < 20000; ++i) {
    const std::string text = generator.text();
    const std::string difference = disagreement(text);
    ASSERT_EQ(difference, "") << "text: " << text;
    (read_json(text).ok() ? accepted : refused) += 1;
  }
  // Both outcomes must be well represented, or the comparison proves little.
  EXPECT_GT(accepted, 5000);
  EXPECT_GT(refused, 2000);
}

INSTANTIATE_TEST_SUITE_P(Seeds, CanonicalRandom, testing::Values(1u, 2u, 3u, 20240611u));

}  // namespace
}  // namespace trovik::json
