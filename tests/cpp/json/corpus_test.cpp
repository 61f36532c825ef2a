// The fuzz seed corpus doubles as a table of texts: every ok_* file is read, and its written form
// reads back to the same text; every err_* file is refused with a positioned ValueError.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "json/reader.h"
#include "json/writer.h"

namespace trovik::json {
namespace {

namespace fs = std::filesystem;

fs::path corpus_dir() {
  return fs::path(TROVIK_TEST_DATA_DIR).parent_path().parent_path() / "fuzz" / "corpus";
}

std::vector<std::string> corpus_files() {
  std::vector<std::string> names;
  std::error_code error;  // a missing directory leaves the list empty, which a test reports
  for (const auto& entry : fs::directory_iterator(corpus_dir(), error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Corpus : public testing::TestWithParam<std::string> {};

TEST_P(Corpus, AcceptedOrRefusedAsNamed) {
  std::ifstream in(corpus_dir() / GetParam(), std::ios::binary);
  ASSERT_TRUE(in) << GetParam();
  const std::string text(std::istreambuf_iterator<char>(in), {});
  Result<Value> result = read_json(text);
  if (GetParam().starts_with("ok_")) {
    ASSERT_TRUE(result.ok()) << result.status().ToString();
    const std::string written = to_json_text(result.value());
    Result<Value> again = read_json(written);
    ASSERT_TRUE(again.ok()) << again.status().ToString();
    EXPECT_EQ(again.value(), result.value());
    EXPECT_EQ(to_json_text(again.value()), written);
  } else {
    ASSERT_TRUE(GetParam().starts_with("err_")) << "corpus files are named ok_* or err_*";
    ASSERT_FALSE(result.ok()) << to_json_text(result.value());
    EXPECT_EQ(result.status().kind(), ErrorKind::kValueError);
    EXPECT_TRUE(std::regex_match(result.status().message(),
                                 std::regex("[^\n]+ at line [1-9][0-9]* column [0-9]+")))
        << result.status().message();
  }
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, testing::ValuesIn(corpus_files()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string name = fs::path(info.param).stem().string();
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

TEST(CorpusFiles, Present) { EXPECT_GE(corpus_files().size(), 20u); }

}  // namespace
}  // namespace trovik::json
