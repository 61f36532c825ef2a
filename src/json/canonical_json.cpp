#include "json/canonical_json.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "json/parser.h"
#include "json/writer.h"

namespace trovik::json {
namespace {

// Writes the parser's events straight to the output. Arrays keep their order, so only objects
// need care: each member's text ("key":value) goes out as it comes, its place and key are noted,
// and when the object closes out of order its members are laid out again in key order. An object
// whose keys arrive sorted and unique, as they often do, costs one comparison per member.
class CanonicalWriter {
 public:
  explicit CanonicalWriter(std::string& out) : out_(out) {
    // A failure may have left an object open.
    members_.clear();
    keys_.clear();
  }
  ~CanonicalWriter() { workspace_.trim(); }
  CanonicalWriter(const CanonicalWriter&) = delete;
  CanonicalWriter& operator=(const CanonicalWriter&) = delete;

  void null_value() {
    separate();
    out_.append("null", 4);
  }
  void boolean(bool value) {
    separate();
    if (value) {
      out_.append("true", 4);
    } else {
      out_.append("false", 5);
    }
  }
  void unsigned_integer(uint64_t value) {
    separate();
    write_integer(value, out_);
  }
  void negative_integer(int64_t value) {
    separate();
    write_integer(value, out_);
  }
  void number(const DoubleNumber& number) {
    separate();
    // Short texts, such as json.dumps gives for most measured values, already hold the double's
    // shortest digits; then the double itself is not even needed.
    if (!write_double_digits(number.text(), out_)) write_double(number.value(), out_);
  }
  void big_integer(std::string_view digits) {
    separate();
    out_.append(digits);
  }
  void string(std::string_view content, bool escaped) {
    separate();
    write_text(content, escaped);
  }
  void begin_array() {
    separate();
    out_.push_back('[');
    open_[depth_++] = Open{false, false, 0, 0, 0};
  }
  void end_array() {
    --depth_;
    out_.push_back(']');
  }
  void begin_object() {
    separate();
    out_.push_back('{');
    open_[depth_++] = Open{true, false, out_.size(), members_.size(), keys_.size()};
  }
  void key(std::string_view content, bool escaped);
  void end_object();

 private:
  struct Open {
    bool object;
    bool has_items;
    size_t body;          // offset in out_ of the object's first member
    size_t first_member;  // index in members_ of its first member
    size_t first_key;     // offset in keys_ of its first key
  };
  // One member of an open object: its key and its text in out_, without the comma that separates
  // it from the one before. A key without escapes is a view of the text being read, which outlives
  // the writer; a decoded one is kept in keys_.
  struct Member {
    const char* key;     // null when the key is in keys_
    size_t decoded_key;  // offset in keys_
    size_t key_size;
    size_t begin;
    size_t end;
  };
  struct Slot {
    std::string_view key;
    size_t index;
  };

  // The comma before an array element. An object member's comma comes with its key.
  void separate() {
    if (depth_ == 0) return;
    Open& open = open_[depth_ - 1];
    if (open.object) return;
    if (open.has_items) out_.push_back(',');
    open.has_items = true;
  }
  // Text without escapes holds no byte that needs one: it goes out as it came, quotes and all
  // (unescaped content is a view of the text between its quotes).
  void write_text(std::string_view content, bool escaped) {
    if (escaped) {
      write_string(content, out_);
    } else {
      out_.append(content.data() - 1, content.size() + 2);
    }
  }
  std::string_view key_of(const Member& member) const {
    if (member.key != nullptr) return std::string_view(member.key, member.key_size);
    return std::string_view(keys_.data() + member.decoded_key, member.key_size);
  }
  void put_in_key_order(const Open& open);

  // The bookkeeping of open objects. It outlives the writer, one per thread, so that writing a
  // small value allocates nothing once the first has been written.
  struct Workspace {
    std::vector<Member> members;
    std::string keys;
    std::vector<Slot> order;
    std::string moved;  // an out-of-order object's members while they are laid out again

    // What a large value needed is given back rather than kept for the rest of the process.
    void trim() {
      constexpr size_t kKeep = size_t{64} * 1024;
      if (members.capacity() * sizeof(Member) > kKeep) std::vector<Member>().swap(members);
      if (keys.capacity() > kKeep) std::string().swap(keys);
      if (order.capacity() * sizeof(Slot) > kKeep) std::vector<Slot>().swap(order);
      if (moved.capacity() > kKeep) std::string().swap(moved);
    }
  };
  static Workspace& workspace() {
    thread_local Workspace workspace;
    return workspace;
  }

  std::string& out_;
  Workspace& workspace_ = workspace();
  std::vector<Member>& members_ = workspace_.members;
  std::string& keys_ = workspace_.keys;
  std::vector<Slot>& order_ = workspace_.order;
  std::string& moved_ = workspace_.moved;
  Open open_[kMaxDepth];
  int depth_ = 0;
};

void CanonicalWriter::key(std::string_view content, bool escaped) {
  Open& open = open_[depth_ - 1];
  if (open.has_items) {
    members_.back().end = out_.size();
    out_.push_back(',');
  }
  open.has_items = true;
  if (escaped) {
    members_.push_back(Member{nullptr, keys_.size(), content.size(), out_.size(), 0});
    keys_.append(content);
  } else {
    members_.push_back(Member{content.data(), 0, content.size(), out_.size(), 0});
  }
  write_text(content, escaped);
  out_.push_back(':');
}

void CanonicalWriter::end_object() {
  const Open& open = open_[--depth_];
  if (open.has_items) {
    members_.back().end = out_.size();
    put_in_key_order(open);
  }
  out_.push_back('}');
  members_.resize(open.first_member);
  keys_.resize(open.first_key);
}

void CanonicalWriter::put_in_key_order(const Open& open) {
  const Member* const first = members_.data() + open.first_member;
  const size_t count = members_.size() - open.first_member;
  bool ascending = true;
  for (size_t i = 1; i < count && ascending; ++i) {
    ascending = key_of(first[i - 1]) < key_of(first[i]);
  }
  if (ascending) return;

  // Equal keys sort by position, so the last of each run is the one that is kept.
  order_.clear();
  order_.reserve(count);
  for (size_t i = 0; i < count; ++i) order_.push_back(Slot{key_of(first[i]), i});
  const auto before = [](const Slot& a, const Slot& b) {
    const int compared = a.key.compare(b.key);
    return compared < 0 || (compared == 0 && a.index < b.index);
  };
  constexpr size_t kInsertionSortLimit = 16;
  if (count <= kInsertionSortLimit) {
    // Insertion sort: the usual small object needs a handful of comparisons.
    for (size_t i = 1; i < count; ++i) {
      const Slot slot = order_[i];
      size_t j = i;
      for (; j > 0 && before(slot, order_[j - 1]); --j) order_[j] = order_[j - 1];
      order_[j] = slot;
    }
  } else {
    std::sort(order_.begin(), order_.end(), before);
  }

  // The members are moved out of the way, then written back in order over the same bytes: the
  // object can only shrink (repeated keys go), so it fits where it was.
  moved_.assign(out_.data() + open.body, out_.size() - open.body);
  char* const body = out_.data() + open.body;
  char* cursor = body;
  for (size_t i = 0; i < count; ++i) {
    if (i + 1 < count && order_[i + 1].key == order_[i].key) continue;
    const Member& member = first[order_[i].index];
    if (cursor != body) *cursor++ = ',';
    std::memcpy(cursor, moved_.data() + (member.begin - open.body), member.end - member.begin);
    cursor += member.end - member.begin;
  }
  out_.resize(static_cast<size_t>(cursor - out_.data()));
}

}  // namespace

Status write_canonical_json(std::string_view text, std::string& out) {
  const size_t size = out.size();
  CanonicalWriter writer(out);
  Status status = parse_json(text, writer);
  if (!status.ok()) out.resize(size);
  return status;
}

}  // namespace trovik::json
