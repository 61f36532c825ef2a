#pragma once

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "json/scanner.h"

namespace trovik::read {

// A parsing-core handler that takes from one record line what a run summary needs: the kind,
// elapsed_ms, created_at, experiment_name, note, and every numeric leaf of the value with its
// dotted key path and its number as written. Buffers are kept between lines, so a run of similar
// records allocates nothing after the first.
class RecordHandler {
 public:
  struct Leaf {
    // The name where it stands (the line, or a literal) when that outlives the leaf, else null
    // and the name is in the handler's own buffer at name_offset.
    const char* name_data;
    uint32_t name_size;
    uint32_t name_offset;
    double value;
    std::string_view token;  // the number's text in the line, valid while the line is
  };

  // Forgets the last line; call before parsing each one.
  void reset();

  bool is_object() const { return top_is_object_; }
  bool is_track() const { return kind_ == "track"; }
  const std::string& kind() const { return kind_; }
  bool has_elapsed_ms() const { return has_elapsed_ms_; }
  uint64_t elapsed_ms() const { return elapsed_ms_; }
  const std::string& created_at() const { return created_at_; }
  bool has_name() const { return has_name_; }
  const std::string& name() const { return name_; }
  bool has_note() const { return has_note_; }
  const std::string& note() const { return note_; }
  // The value's own integer `step` member, when it has one.
  bool has_step() const { return has_step_; }
  int64_t step() const { return step_; }
  const std::vector<Leaf>& leaves() const { return leaves_; }
  std::string_view leaf_name(const Leaf& leaf) const {
    return {leaf.name_data != nullptr ? leaf.name_data : leaf_names_.data() + leaf.name_offset,
            leaf.name_size};
  }

  // Parsing-core events.
  void number_token(std::string_view text) { token_ = text; }
  void null_value() { scalar_done(); }
  void boolean(bool /*value*/) { scalar_done(); }
  void unsigned_integer(uint64_t value) {
    if (value <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      integer_step(static_cast<int64_t>(value));
    }
    if (depth_ == 1 && top_key_ == TopKey::kElapsedMs) {
      elapsed_ms_ = value;
      has_elapsed_ms_ = true;
    }
    numeric(static_cast<double>(value));
  }
  void negative_integer(int64_t value) {
    integer_step(value);
    numeric(static_cast<double>(value));
  }
  void number(const json::DoubleNumber& number) { numeric(number.value()); }
  // An integer too large for 64 bits: a series value is the nearest double.
  void big_integer(std::string_view digits) {
    double value = 0;
    const std::from_chars_result parsed =
        std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (parsed.ec == std::errc()) {
      numeric(value);
    } else {
      scalar_done();
    }
  }
  void string(std::string_view content, bool /*escaped*/);
  void begin_array() { open(true); }
  void end_array() { close(true); }
  void begin_object() { open(false); }
  void key(std::string_view content, bool escaped);
  void end_object() { close(false); }

 private:
  enum class TopKey : unsigned char { kOther, kKind, kValue, kElapsedMs, kCreatedAt, kName, kNote };

  bool in_value_tree() const { return top_key_ == TopKey::kValue && array_depth_ == 0; }
  void open(bool array);
  void close(bool array);
  void scalar_done() { step_key_ = false; }
  void integer_step(int64_t value) {
    if (step_key_ && depth_ == 2 && in_value_tree()) {
      step_ = value;
      has_step_ = true;
    }
  }
  void numeric(double value);

  // Open containers: 1 inside the record object, 2 inside an object value, and so on.
  int depth_ = 0;
  TopKey top_key_ = TopKey::kOther;
  int array_depth_ = 0;  // arrays open inside the value: their leaves are no series
  bool step_key_ = false;
  bool top_is_object_ = false;
  std::string_view token_;  // of the number whose event comes next

  std::string kind_;
  std::string created_at_;
  std::string name_;
  std::string note_;
  uint64_t elapsed_ms_ = 0;
  int64_t step_ = 0;
  bool has_elapsed_ms_ = false;
  bool has_name_ = false;
  bool has_note_ = false;
  bool has_step_ = false;

  // The current member of the value: a view of the line, or of path_ when it was unescaped.
  std::string_view member_;
  std::string path_;  // dotted path of the current key below the value's members
  std::vector<uint32_t> path_sizes_ = std::vector<uint32_t>(json::kMaxDepth + 2, 0);
  std::string leaf_names_;
  std::vector<Leaf> leaves_;
};

}  // namespace trovik::read
