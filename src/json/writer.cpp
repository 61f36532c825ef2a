#include "json/writer.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "json/string_scan.h"

namespace trovik::json {
namespace {

// For each byte: 0 when it is written as it is, otherwise the letter of its short escape, or 'u'
// for the \u00XX form.
constexpr auto kEscapes = [] {
  struct Table {
    char letter[256] = {};
  } table;
  for (int b = 0; b < 0x20; ++b) table.letter[b] = 'u';
  table.letter[static_cast<unsigned char>('"')] = '"';
  table.letter[static_cast<unsigned char>('\\')] = '\\';
  table.letter[0x08] = 'b';
  table.letter[0x09] = 't';
  table.letter[0x0A] = 'n';
  table.letter[0x0C] = 'f';
  table.letter[0x0D] = 'r';
  return table;
}();

// The float form of the non-zero double d1.d2...dn x 10^exponent (digits[0] and digits[n - 1] are
// not '0'): positional from 10^-5 to below 10^16, exponent notation beyond.
void write_float_form(bool negative, const char* digits, int n, int exponent, std::string& out) {
  char text[48];
  char* q = text;
  if (negative) *q++ = '-';
  if (exponent >= -5 && exponent <= 15) {
    if (n <= exponent + 1) {
      std::memcpy(q, digits, n);
      q += n;
      std::memset(q, '0', exponent + 1 - n);
      q += exponent + 1 - n;
      *q++ = '.';
      *q++ = '0';
    } else if (exponent >= 0) {
      std::memcpy(q, digits, exponent + 1);
      q += exponent + 1;
      *q++ = '.';
      std::memcpy(q, digits + exponent + 1, n - exponent - 1);
      q += n - exponent - 1;
    } else {
      *q++ = '0';
      *q++ = '.';
      std::memset(q, '0', -exponent - 1);
      q += -exponent - 1;
      std::memcpy(q, digits, n);
      q += n;
    }
  } else {
    *q++ = digits[0];
    if (n > 1) {
      *q++ = '.';
      std::memcpy(q, digits + 1, n - 1);
      q += n - 1;
    }
    *q++ = 'e';
    *q++ = exponent < 0 ? '-' : '+';
    q = std::to_chars(q, text + sizeof text, exponent < 0 ? -exponent : exponent).ptr;
  }
  out.append(text, q);
}

// Whether `number`, a JSON number text, is already the float form of the double it reads as:
// positional with a point and no exponent part, no zero at the end of the fraction (but in x.0),
// at most 15 significant digits (see write_double_digits) and a decimal exponent from -5 to 15.
// json.dumps writes most measured values this way.
bool in_float_form(std::string_view number) {
  const char* p = number.data();
  const char* const end = p + number.size();
  if (p != end && *p == '-') ++p;
  const char* const integer = p;
  while (p != end && *p >= '0' && *p <= '9') ++p;
  const ptrdiff_t integer_size = p - integer;
  if (p == end || *p != '.') return false;
  const char* const fraction = ++p;
  while (p != end && *p >= '0' && *p <= '9') ++p;
  const ptrdiff_t fraction_size = p - fraction;
  if (p != end || fraction_size == 0) return false;
  if (fraction_size > 1 && p[-1] == '0') return false;
  if (integer_size != 1 || *integer != '0') return integer_size + fraction_size <= 15;
  // 0.F, zero itself included: the exponent is minus one more than F's leading zeros.
  ptrdiff_t zeros = 0;
  while (zeros + 1 < fraction_size && fraction[zeros] == '0') ++zeros;
  return zeros <= 4 && fraction_size - zeros <= 15;
}

template <typename Integer>
void write_decimal(Integer value, std::string& out) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void write_value(const Value& value, std::string& out) {
  switch (value.type()) {
    case Value::Type::kNull:
      out.append("null", 4);
      return;
    case Value::Type::kBool:
      if (value.as_bool()) {
        out.append("true", 4);
      } else {
        out.append("false", 5);
      }
      return;
    case Value::Type::kUnsigned:
      write_decimal(value.as_unsigned(), out);
      return;
    case Value::Type::kNegative:
      write_decimal(value.as_negative(), out);
      return;
    case Value::Type::kDouble:
      write_double(value.as_double(), out);
      return;
    case Value::Type::kString:
      write_string(value.as_string(), out);
      return;
    case Value::Type::kArray: {
      out.push_back('[');
      bool first = true;
      for (const Value& element : value.as_array()) {
        if (!first) out.push_back(',');
        first = false;
        write_value(element, out);
      }
      out.push_back(']');
      return;
    }
    case Value::Type::kObject: {
      out.push_back('{');
      bool first = true;
      for (const auto& [key, member] : value.as_object()) {
        if (!first) out.push_back(',');
        first = false;
        write_string(key, out);
        out.push_back(':');
        write_value(member, out);
      }
      out.push_back('}');
      return;
    }
  }
}

}  // namespace

void write_double(double value, std::string& out) {
  if (!std::isfinite(value)) {
    out.append("null", 4);
    return;
  }
  if (value == 0) {
    if (std::signbit(value)) {
      out.append("-0.0", 4);
    } else {
      out.append("0.0", 3);
    }
    return;
  }

  // The shortest round-trip digits come from the library, in the form d[.ddd]e(+|-)XX; only the
  // layout is ours.
  char scientific[32];
  const auto converted = std::to_chars(scientific, scientific + sizeof scientific, value,
                                       std::chars_format::scientific);
  const char* p = scientific;
  const char* const end = converted.ptr;
  const bool negative = *p == '-';
  if (negative) ++p;

  char digits[20];
  int n = 0;
  for (; p != end && *p != 'e'; ++p) {
    if (*p != '.') digits[n++] = *p;
  }
  ++p;  // 'e'
  const bool negative_exponent = *p == '-';
  ++p;  // the exponent's sign, always present
  int exponent = 0;
  for (; p != end; ++p) exponent = exponent * 10 + (*p - '0');
  if (negative_exponent) exponent = -exponent;
  write_float_form(negative, digits, n, exponent, out);
}

bool write_double_digits(std::string_view number, std::string& out) {
  if (in_float_form(number)) {
    out.append(number);
    return true;
  }

  // At most this many significant digits: every decimal that short reads as a double whose
  // shortest round-trip digits are its own (distinct decimals of up to 15 digits read as distinct
  // doubles, so no shorter decimal reads as the same one).
  constexpr ptrdiff_t kMaxDigits = 15;
  // Within these decimal exponents the double is normal and finite, as that needs.
  constexpr int kMaxExponent = 307;

  const char* p = number.data();
  const char* const end = p + number.size();
  const bool negative = p != end && *p == '-';
  if (negative) ++p;

  // The significand's text, its point, and its significant digits (with a point among them when
  // it falls between the first and the last).
  const char* significand_end = p;
  while (significand_end != end && *significand_end != 'e' && *significand_end != 'E') {
    ++significand_end;
  }
  const char* point = p;
  while (point != significand_end && *point != '.') ++point;
  const char* first = p;
  while (first != significand_end && (*first == '0' || *first == '.')) ++first;
  const char* last = significand_end;
  while (last != first && (last[-1] == '0' || last[-1] == '.')) --last;
  const bool point_inside = first < point && point < last;
  const ptrdiff_t n = (last - first) - (point_inside ? 1 : 0);
  if (n == 0 || n > kMaxDigits) return false;  // zero, or perhaps not the shortest digits

  // The power of ten of the first significant digit, then the exponent part on top.
  int64_t exponent = first < point ? point - first - 1 : point - first;
  if (significand_end != end) {
    const char* q = significand_end + 1;
    const bool negative_exponent = *q == '-';
    if (*q == '+' || *q == '-') ++q;
    int64_t explicit_exponent = 0;
    for (; q != end; ++q) {
      explicit_exponent = explicit_exponent * 10 + (*q - '0');
      if (explicit_exponent > 10 * kMaxExponent) return false;
    }
    exponent += negative_exponent ? -explicit_exponent : explicit_exponent;
  }
  if (exponent < -kMaxExponent || exponent > kMaxExponent) return false;

  char digits[kMaxDigits];
  char* d = digits;
  for (const char* q = first; q != last; ++q) {
    if (*q != '.') *d++ = *q;
  }
  write_float_form(negative, digits, static_cast<int>(n), static_cast<int>(exponent), out);
  return true;
}

void write_string(std::string_view text, std::string& out) {
  out.push_back('"');
  const char* run = text.data();
  const char* const end = run + text.size();
  for (const char* p = find_string_special(run, end); p != end;
       p = find_string_special(p + 1, end)) {
    const char letter = kEscapes.letter[static_cast<unsigned char>(*p)];
    out.append(run, p);
    run = p + 1;
    if (letter == 'u') {
      static constexpr char kHex[] = "0123456789abcdef";
      const auto byte = static_cast<unsigned char>(*p);
      const char escape[6] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
      out.append(escape, sizeof escape);
    } else {
      const char escape[2] = {'\\', letter};
      out.append(escape, sizeof escape);
    }
  }
  out.append(run, end);
  out.push_back('"');
}

void write_integer(uint64_t value, std::string& out) { write_decimal(value, out); }

void write_integer(int64_t value, std::string& out) { write_decimal(value, out); }

void write_json(const Value& value, std::string& out) { write_value(value, out); }

std::string to_json_text(const Value& value) {
  std::string out;
  out.reserve(128);
  write_json(value, out);
  return out;
}

}  // namespace trovik::json
