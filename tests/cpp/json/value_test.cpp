#include "json/value.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace trovik::json {
namespace {

// Sizes from the trivially sorted to many repeats of few keys.
class FromEntries : public testing::TestWithParam<int> {};

TEST_P(FromEntries, SortedByBytesLastDuplicateWins) {
  std::mt19937 random(GetParam());
  std::vector<Object::Entry> entries;
  std::map<std::string, uint64_t> expected;  // std::string compares bytes as unsigned
  for (int i = 0; i < GetParam(); ++i) {
    // Few distinct keys, so duplicates are common; some keys are prefixes of others, some
    // start with a byte above 0x7F.
    static const char* const kKeys[] = {"a", "ab", "b", "B", "", "\xc3\xa9", "a\x01", "zz", "z"};
    std::string key = kKeys[random() % 9];
    if (random() % 4 == 0) key += std::to_string(random() % 50);
    entries.emplace_back(key, Value::unsigned_integer(i));
    expected[key] = i;
  }
  const Object object = Object::from_entries(std::move(entries));
  ASSERT_EQ(object.size(), expected.size());
  auto want = expected.begin();
  for (const auto& [key, value] : object) {
    EXPECT_EQ(key, want->first);
    EXPECT_EQ(value.as_unsigned(), want->second) << key;
    ++want;
  }
  for (const auto& [key, number] : expected) {
    const Value* found = object.find(key);
    ASSERT_NE(found, nullptr) << key;
    EXPECT_EQ(found->as_unsigned(), number);
  }
  EXPECT_EQ(object.find("missing"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FromEntries, testing::Values(0, 1, 2, 5, 31, 32, 33, 64, 500));

TEST(Object, InsertReplacesInPlace) {
  Object object;
  object.insert("b", Value::unsigned_integer(1));
  object.insert("a", Value::unsigned_integer(2));
  object.insert("b", Value::string("x"));
  ASSERT_EQ(object.size(), 2u);
  EXPECT_EQ(object.begin()->first, "a");
  EXPECT_EQ(object.find("b")->as_string(), "x");
}

TEST(Value, EqualityIsStructural) {
  EXPECT_EQ(Value::number(0.0), Value::number(-0.0));
  EXPECT_NE(Value::number(1.0), Value::unsigned_integer(1));
  EXPECT_NE(Value::string(std::string("a\0b", 3)), Value::string("a"));
  Object a;
  a.insert("k", Value::array({Value::null()}));
  Object b;
  b.insert("k", Value::array({}));
  EXPECT_NE(Value::object(a), Value::object(b));
  b.insert("k", Value::array({Value::null()}));
  EXPECT_EQ(Value::object(a), Value::object(b));
}

}  // namespace
}  // namespace trovik::json
