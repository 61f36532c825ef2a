#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace trovik::json {

class Value;

using Array = std::vector<Value>;

// A JSON object: each key once, always iterated in ascending byte order of the keys (unsigned,
// lexicographic; a prefix sorts first). Kept as a sorted flat vector: records are small, and a
// contiguous array beats a node-based map both to build and to walk.
class Object {
 public:
  using Entry = std::pair<std::string, Value>;
  using const_iterator = std::vector<Entry>::const_iterator;

  Object() = default;

  // Builds an object from entries in any order; of entries with equal keys the last one wins.
  // Entries already in strictly ascending key order are taken as they are, vector and all.
  static Object from_entries(std::vector<Entry> entries);
  // The same for the entries in [first, last), which are left moved-from: each entry that is kept
  // is moved once, straight to its place.
  static Object from_entries(Entry* first, Entry* last);

  // Inserts a key, or replaces the value of a key already present (which keeps its one entry).
  void insert(std::string key, Value value);
  const Value* find(std::string_view key) const;

  // Defined below Value: an entry's type is complete only there, and clang needs it to be.
  size_t size() const;
  bool empty() const;
  const_iterator begin() const;
  const_iterator end() const;

  friend bool operator==(const Object& a, const Object& b);

 private:
  std::vector<Entry> entries_;
};

// An integer too wide for 64 bits, kept as the decimal text it was read from ('-' first when
// negative, no leading zeros), so that it is written back digit for digit.
struct BigInteger {
  std::string digits;
  friend bool operator==(const BigInteger& a, const BigInteger& b) { return a.digits == b.digits; }
};

// One JSON value: null, boolean, number (unsigned 64-bit integer, negative signed 64-bit integer,
// double, or an integer beyond 64 bits), UTF-8 string (which may hold U+0000), array or object.
// Values own their children.
class Value {
 public:
  enum class Type {
    kNull,
    kBool,
    kUnsigned,
    kNegative,
    kDouble,
    kBigInteger,
    kString,
    kArray,
    kObject
  };

  Value() = default;  // null
  static Value null() { return Value(); }
  static Value boolean(bool b) { return Value(Tag<bool>(), b); }
  static Value unsigned_integer(uint64_t u) { return Value(Tag<uint64_t>(), u); }
  // `i` must be negative: non-negative integers are always unsigned.
  static Value negative_integer(int64_t i) { return Value(Tag<int64_t>(), i); }
  static Value number(double d) { return Value(Tag<double>(), d); }
  // `digits` must be an integer's JSON text that fits neither 64-bit form.
  static Value big_integer(std::string digits) {
    return Value(Tag<BigInteger>(), BigInteger{std::move(digits)});
  }
  static Value string(std::string s) { return Value(Tag<std::string>(), std::move(s)); }
  static Value array(Array a) { return Value(Tag<Array>(), std::move(a)); }
  static Value object(Object o) { return Value(Tag<Object>(), std::move(o)); }

  Type type() const { return static_cast<Type>(data_.index()); }
  bool is_null() const { return type() == Type::kNull; }

  bool as_bool() const { return std::get<bool>(data_); }
  uint64_t as_unsigned() const { return std::get<uint64_t>(data_); }
  int64_t as_negative() const { return std::get<int64_t>(data_); }
  double as_double() const { return std::get<double>(data_); }
  const std::string& as_big_integer() const { return std::get<BigInteger>(data_).digits; }
  const std::string& as_string() const { return std::get<std::string>(data_); }
  const Array& as_array() const { return std::get<Array>(data_); }
  Array& as_array() { return std::get<Array>(data_); }
  const Object& as_object() const { return std::get<Object>(data_); }
  Object& as_object() { return std::get<Object>(data_); }

  // Structural equality; doubles compare by value (so 0.0 == -0.0), as JSON readers see them.
  friend bool operator==(const Value& a, const Value& b) { return a.data_ == b.data_; }

 private:
  template <typename T>
  struct Tag {};
  template <typename T, typename U>
  Value(Tag<T> /*tag*/, U&& alternative)
      : data_(std::in_place_type<T>, std::forward<U>(alternative)) {}

  // The order matches Type.
  std::variant<std::monostate, bool, uint64_t, int64_t, double, BigInteger, std::string, Array,
               Object>
      data_;
};

inline size_t Object::size() const { return entries_.size(); }
inline bool Object::empty() const { return entries_.empty(); }
inline Object::const_iterator Object::begin() const { return entries_.begin(); }
inline Object::const_iterator Object::end() const { return entries_.end(); }

}  // namespace trovik::json
