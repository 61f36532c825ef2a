#include "read/run_state_codec.h"

#include <bit>
#include <utility>
#include <vector>

#include "json/scanner.h"
#include "read/byte_hash.h"
#include "read/line_reader.h"

namespace trovik::read {
namespace {

constexpr std::string_view kTag = "trovik run state\n";

// Little-endian fixed-width integers; sizes and counts as base-128 varints (most are below 128, so
// one byte each); length-prefixed bytes.
class Encoder {
 public:
  void u8(unsigned value) { out_ += static_cast<char>(value); }
  void u32(uint32_t value) { fixed(value, 4); }
  void u64(uint64_t value) { fixed(value, 8); }
  void i64(int64_t value) { u64(static_cast<uint64_t>(value)); }
  void f64(double value) { u64(std::bit_cast<uint64_t>(value)); }
  void varint(uint64_t value) {
    for (; value >= 0x80; value >>= 7) out_ += static_cast<char>((value & 0x7f) | 0x80);
    out_ += static_cast<char>(value);
  }
  void text(std::string_view bytes) {
    varint(bytes.size());
    out_ += bytes;
  }
  void raw(std::string_view bytes) { out_ += bytes; }
  std::string& out() { return out_; }

 private:
  void fixed(uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out_ += static_cast<char>((value >> (8 * i)) & 0xff);
  }
  std::string out_;
};

// Reads what Encoder wrote. Running past the end, or a count larger than the bytes left could
// hold, marks the reading failed and yields zeros from then on, so a damaged state never makes
// it allocate more than its own size.
class Decoder {
 public:
  explicit Decoder(std::string_view bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  bool at_end() const { return position_ == bytes_.size(); }
  void fail() { ok_ = false; }

  unsigned u8() { return static_cast<unsigned>(fixed(1)); }
  uint32_t u32() { return static_cast<uint32_t>(fixed(4)); }
  uint64_t u64() { return fixed(8); }
  int64_t i64() { return static_cast<int64_t>(u64()); }
  double f64() { return std::bit_cast<double>(u64()); }
  bool flag() {
    const unsigned value = u8();
    if (value > 1) fail();
    return value == 1;
  }
  std::string_view raw(uint64_t size) {
    if (!ok_ || size > bytes_.size() - position_) {
      fail();
      return {};
    }
    const std::string_view bytes = bytes_.substr(position_, size);
    position_ += size;
    return bytes;
  }
  uint64_t varint() {
    uint64_t value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      const unsigned byte = u8();
      if (!ok_) return 0;
      value |= static_cast<uint64_t>(byte & 0x7f) << shift;
      if ((byte & 0x80) == 0) return value;
    }
    fail();
    return 0;
  }
  std::string_view bytes() { return raw(varint()); }
  std::string text() { return std::string(bytes()); }
  // A count of elements that each take at least `element_size` bytes.
  uint64_t count(uint64_t element_size) {
    const uint64_t value = varint();
    if (!ok_ || value > (bytes_.size() - position_) / element_size) {
      fail();
      return 0;
    }
    return value;
  }

 private:
  uint64_t fixed(int size) {
    const std::string_view bytes = raw(static_cast<uint64_t>(size));
    uint64_t value = 0;
    for (size_t i = bytes.size(); i-- > 0;) {
      value = value << 8 | static_cast<unsigned char>(bytes[i]);
    }
    return value;
  }

  std::string_view bytes_;
  size_t position_ = 0;
  bool ok_ = true;
};

void encode_value(Encoder& out, const json::Value& value) {
  using Type = json::Value::Type;
  out.u8(static_cast<unsigned>(value.type()));
  switch (value.type()) {
    case Type::kNull:
      break;
    case Type::kBool:
      out.u8(value.as_bool() ? 1 : 0);
      break;
    case Type::kUnsigned:
      out.u64(value.as_unsigned());
      break;
    case Type::kNegative:
      out.i64(value.as_negative());
      break;
    case Type::kDouble:
      out.f64(value.as_double());
      break;
    case Type::kBigInteger:
      out.text(value.as_big_integer());
      break;
    case Type::kString:
      out.text(value.as_string());
      break;
    case Type::kArray:
      out.varint(value.as_array().size());
      for (const json::Value& element : value.as_array()) encode_value(out, element);
      break;
    case Type::kObject:
      out.varint(value.as_object().size());
      for (const auto& [key, member] : value.as_object()) {
        out.text(key);
        encode_value(out, member);
      }
      break;
  }
}

json::Value decode_value(Decoder& in, int depth) {
  using Type = json::Value::Type;
  const auto type = static_cast<Type>(in.u8());
  switch (type) {
    case Type::kNull:
      return json::Value();
    case Type::kBool:
      return json::Value::boolean(in.flag());
    case Type::kUnsigned:
      return json::Value::unsigned_integer(in.u64());
    case Type::kNegative: {
      const int64_t negative = in.i64();
      if (negative >= 0) in.fail();
      return json::Value::negative_integer(negative);
    }
    case Type::kDouble:
      return json::Value::number(in.f64());
    case Type::kBigInteger:
      return json::Value::big_integer(in.text());
    case Type::kString:
      return json::Value::string(in.text());
    case Type::kArray:
    case Type::kObject:
      break;
  }
  if ((type != Type::kArray && type != Type::kObject) || depth >= json::kMaxDepth) {
    in.fail();
    return json::Value();
  }
  // Each element takes at least its type byte; each member its key's length byte as well.
  if (type == Type::kArray) {
    json::Array array(in.count(1));
    for (json::Value& element : array) element = decode_value(in, depth + 1);
    return json::Value::array(std::move(array));
  }
  std::vector<json::Object::Entry> entries(in.count(2));
  for (json::Object::Entry& entry : entries) {
    entry.first = in.text();
    entry.second = decode_value(in, depth + 1);
  }
  return json::Value::object(json::Object::from_entries(std::move(entries)));
}

void encode_series(Encoder& out, const SeriesSummary& s) {
  out.text(s.name);
  out.u64(s.count);
  for (double value : {s.first, s.last, s.min, s.max}) out.f64(value);
  for (int64_t step : {s.first_step, s.last_step, s.min_step, s.max_step}) out.i64(step);
  out.u32(s.index_steps);
  for (const NumberText* token : {&s.first_token, &s.last_token, &s.min_token, &s.max_token}) {
    out.text(token->view());
  }
  out.varint(s.points.size());
  for (const SeriesPoint& p : s.points) {
    out.i64(p.step);
    out.f64(p.value);
    out.u64(p.elapsed_ms);
    out.u64(p.track_index);
    out.u8(p.step_from_index ? 1 : 0);
  }
  out.text(s.point_tokens);
  out.varint(s.point_token_ends.size());
  for (const uint64_t end : s.point_token_ends) out.u64(end);
}

constexpr uint64_t kEncodedPointSize = 8 * 4 + 1;

SeriesSummary decode_series(Decoder& in) {
  SeriesSummary s;
  s.name = in.text();
  s.count = in.u64();
  for (double* value : {&s.first, &s.last, &s.min, &s.max}) *value = in.f64();
  for (int64_t* step : {&s.first_step, &s.last_step, &s.min_step, &s.max_step}) *step = in.i64();
  s.index_steps = in.u32();
  if (s.index_steps > 15) in.fail();
  for (NumberText* token : {&s.first_token, &s.last_token, &s.min_token, &s.max_token}) {
    token->assign(in.bytes());
  }
  s.points.resize(in.count(kEncodedPointSize));
  for (SeriesPoint& p : s.points) {
    p.step = in.i64();
    p.value = in.f64();
    p.elapsed_ms = in.u64();
    p.track_index = in.u64();
    p.step_from_index = in.flag();
  }
  s.point_tokens = in.text();
  s.point_token_ends.resize(in.count(8));
  uint64_t previous_end = 0;
  for (uint64_t& end : s.point_token_ends) {
    end = in.u64();
    if (end < previous_end || end > s.point_tokens.size()) in.fail();
    previous_end = end;
  }
  // Each point has its number, or none has.
  if (!s.point_token_ends.empty() && s.point_token_ends.size() != s.points.size()) in.fail();
  return s;
}

void encode_summary(Encoder& out, const RunSummary& run) {
  for (const std::string* text : {&run.path, &run.run_id, &run.name, &run.created_at}) {
    out.text(*text);
  }
  out.u8(run.run_start ? 1 : 0);
  if (run.run_start) encode_value(out, *run.run_start);
  out.u8(run.elapsed_ms ? 1 : 0);
  out.u64(run.elapsed_ms.value_or(0));
  for (uint64_t count : {run.records, run.bad_lines, run.track_records}) out.u64(count);
  out.u8(run.torn ? 1 : 0);
  out.u8(run.run_end ? 1 : 0);
  if (run.run_end) encode_value(out, *run.run_end);
  out.u8(run.run_end_elapsed_ms ? 1 : 0);
  out.u64(run.run_end_elapsed_ms.value_or(0));
  out.u64(run.records_after_end);
  out.u8(run.environment ? 1 : 0);
  if (run.environment) encode_value(out, *run.environment);
  out.u8(run.latest_step ? 1 : 0);
  out.i64(run.latest_step.value_or(0));
  out.varint(run.series.size());
  for (const SeriesSummary& s : run.series) encode_series(out, s);
  out.varint(run.notes.size());
  for (const Note& note : run.notes) {
    out.u64(note.elapsed_ms);
    out.text(note.text);
    out.i64(note.step);
    out.u8(note.step_from_index ? 1 : 0);
  }
  out.varint(run.track_times.size());
  for (const std::string& time : run.track_times) out.text(time);
}

RunSummary decode_summary(Decoder& in) {
  RunSummary run;
  for (std::string* text : {&run.path, &run.run_id, &run.name, &run.created_at}) {
    *text = in.text();
  }
  if (in.flag()) run.run_start = decode_value(in, 0);
  const bool has_elapsed = in.flag();
  const uint64_t elapsed = in.u64();
  if (has_elapsed) run.elapsed_ms = elapsed;
  for (uint64_t* count : {&run.records, &run.bad_lines, &run.track_records}) *count = in.u64();
  run.torn = in.flag();
  if (in.flag()) run.run_end = decode_value(in, 0);
  const bool has_end_elapsed = in.flag();
  const uint64_t end_elapsed = in.u64();
  if (has_end_elapsed) run.run_end_elapsed_ms = end_elapsed;
  run.records_after_end = in.u64();
  if (in.flag()) run.environment = decode_value(in, 0);
  const bool has_latest_step = in.flag();
  const int64_t latest_step = in.i64();
  if (has_latest_step) run.latest_step = latest_step;
  // A series takes at least its eight counts and steps, a note two numbers, its flag and its
  // length byte, a time its length byte.
  run.series.resize(in.count(uint64_t{8} * 8));
  for (SeriesSummary& s : run.series) s = decode_series(in);
  run.notes.resize(in.count(uint64_t{8} * 2 + 2));
  for (Note& note : run.notes) {
    note.elapsed_ms = in.u64();
    note.text = in.text();
    note.step = in.i64();
    note.step_from_index = in.flag();
  }
  run.track_times.resize(in.count(1));
  for (std::string& time : run.track_times) time = in.text();
  return run;
}

}  // namespace

std::string encode_run_state(const RunFollowerState& state) {
  Encoder out;
  out.raw(kTag);
  out.u32(kRunStateVersion);
  const ReadPosition& position = state.position;
  const FileIdentity& identity = position.identity;
  for (uint64_t value : {identity.device, identity.inode, identity.size}) out.u64(value);
  out.i64(identity.mtime_ns);
  out.u64(position.offset);
  out.u32(position.tail_size);
  out.u64(position.tail_hash);
  out.u8(static_cast<unsigned>(state.summary.detail));
  out.u8(state.summary.next_line_is_first ? 1 : 0);
  encode_summary(out, state.summary.summary);
  out.u64(byte_hash(out.out()));
  return std::move(out.out());
}

Result<RunFollowerState> decode_run_state(std::string_view bytes) {
  const auto invalid = [] {
    return Status::ValueError("not a trovik run state, or a damaged one");
  };
  if (bytes.size() < kTag.size() + 4 + 8 || !bytes.starts_with(kTag)) return invalid();
  const std::string_view body = bytes.substr(0, bytes.size() - 8);
  Decoder checksum(bytes.substr(body.size()));
  if (checksum.u64() != byte_hash(body)) return invalid();

  Decoder in(body.substr(kTag.size()));
  if (in.u32() != kRunStateVersion) return Status::ValueError("a run state of another version");
  RunFollowerState state;
  ReadPosition& position = state.position;
  FileIdentity& identity = position.identity;
  for (uint64_t* value : {&identity.device, &identity.inode, &identity.size}) *value = in.u64();
  identity.mtime_ns = in.i64();
  position.offset = in.u64();
  position.tail_size = in.u32();
  position.tail_hash = in.u64();
  const unsigned detail = in.u8();
  if (detail > static_cast<unsigned>(Detail::kFull) || position.tail_size > position.offset ||
      position.tail_size > LineReader::kTailSize) {
    in.fail();
  }
  state.summary.detail = static_cast<Detail>(detail);
  state.summary.next_line_is_first = in.flag();
  state.summary.summary = decode_summary(in);
  if (!in.ok() || !in.at_end()) return invalid();
  return state;
}

}  // namespace trovik::read
