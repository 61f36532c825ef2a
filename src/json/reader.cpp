#include "json/reader.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "json/parser.h"

namespace trovik::json {
namespace {

// Builds the value tree from the parser's events. Finished values wait on `values_` (array
// elements) or `entries_` (object members) until their container closes and takes them; the
// outermost container takes the whole buffer instead, which for a large value saves a copy as
// large as the value itself at the very moment memory use peaks.
class TreeBuilder {
 public:
  void null_value() { finish(Value::null()); }
  void boolean(bool value) { finish(Value::boolean(value)); }
  void unsigned_integer(uint64_t value) { finish(Value::unsigned_integer(value)); }
  void negative_integer(int64_t value) { finish(Value::negative_integer(value)); }
  void number(const DoubleNumber& number) { finish(Value::number(number.value())); }
  void big_integer(std::string_view digits) { finish(Value::big_integer(std::string(digits))); }
  void string(std::string_view content, bool /*escaped*/) {
    finish(Value::string(std::string(content)));
  }
  void begin_array() { open_[depth_++] = Open{false, values_.size()}; }
  void begin_object() { open_[depth_++] = Open{true, entries_.size()}; }
  void key(std::string_view content, bool /*escaped*/) {
    entries_.emplace_back(std::string(content), Value());
  }
  void end_array();
  void end_object();

  Value take_root() { return std::move(root_); }

 private:
  struct Open {
    bool object;
    size_t first;  // index of the container's first element in values_ or entries_
  };

  // Hands a finished value to the innermost open container (an object's entry already holds the
  // key), or makes it the result.
  void finish(Value value) {
    if (depth_ == 0) {
      root_ = std::move(value);
    } else if (!open_[depth_ - 1].object) {
      values_.push_back(std::move(value));
    } else {
      entries_.back().second = std::move(value);
    }
  }

  Open open_[kMaxDepth];
  int depth_ = 0;
  std::vector<Value> values_;
  std::vector<Object::Entry> entries_;
  Value root_;
};

void TreeBuilder::end_array() {
  const size_t first = open_[--depth_].first;
  if (depth_ == 0) {
    root_ = Value::array(std::move(values_));  // the outermost array takes the buffer whole
    return;
  }
  const auto begin = values_.begin() + static_cast<ptrdiff_t>(first);
  Array elements(std::make_move_iterator(begin), std::make_move_iterator(values_.end()));
  values_.erase(begin, values_.end());
  finish(Value::array(std::move(elements)));
}

void TreeBuilder::end_object() {
  const size_t first = open_[--depth_].first;
  if (depth_ == 0) {
    root_ = Value::object(Object::from_entries(std::move(entries_)));
    return;
  }
  Object object = Object::from_entries(entries_.data() + first, entries_.data() + entries_.size());
  entries_.erase(entries_.begin() + static_cast<ptrdiff_t>(first), entries_.end());
  finish(Value::object(std::move(object)));
}

}  // namespace

Result<Value> read_json(std::string_view text) {
  TreeBuilder builder;
  Status status = parse_json(text, builder);
  if (!status.ok()) return status;
  return builder.take_root();
}

}  // namespace trovik::json
