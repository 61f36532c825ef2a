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
    case Value::Type::kBigInteger:
      out.append(value.as_big_integer());
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
  // At most this many significant digits: every decimal that short reads as a double whose
  // shortest round-trip digits are its own (distinct decimals of up to 15 digits read as distinct
  // doubles, so no shorter decimal reads as the same one).
  constexpr ptrdiff_t kMaxDigits = 15;
  // Within these decimal exponents the double is normal and finite, as that needs.
  constexpr int64_t kMaxExponent = 307;

  if (number.empty()) return false;  // not a number token
  // One pass over the parts: integer digits, fraction digits, and whether an exponent follows.
  const char* p = number.data();
  const char* const end = p + number.size();
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  const char* const integer = p;
  while (p != end && *p >= '0' && *p <= '9') ++p;
  const ptrdiff_t integer_size = p - integer;
  const char* fraction = p;
  if (p != end && *p == '.') {
    fraction = ++p;
    while (p != end && *p >= '0' && *p <= '9') ++p;
  }
  const ptrdiff_t fraction_size = p - fraction;
  const char* const exponent_part = p;  // at 'e' or 'E', or the end
  const bool zero_integer = integer_size == 1 && *integer == '0';

  // The integer and fraction digits as one string, I followed by F: the first significant digit
  // (I has no leading zero unless it is "0") and the last.
  const auto digit = [&](ptrdiff_t i) {
    return i < integer_size ? integer[i] : fraction[i - integer_size];
  };
  const ptrdiff_t size = integer_size + fraction_size;
  ptrdiff_t first = 0;
  if (zero_integer) {
    first = 1;
    while (first < size && digit(first) == '0') ++first;
    if (first == size) return false;  // zero
  }
  ptrdiff_t last = size - 1;
  while (digit(last) == '0') --last;
  const ptrdiff_t n = last - first + 1;
  if (n <= 0 || n > kMaxDigits) return false;   // not a number token, or perhaps not shortest
  int64_t exponent = integer_size - 1 - first;  // the power of ten of the first significant digit

  // Positional text without an exponent and without a zero ending its fraction (but in x.0),
  // json.dumps' usual form, is the float form itself when the exponent is in the positional range.
  if (exponent_part == end && fraction_size > 0 && (fraction_size == 1 || last == size - 1) &&
      exponent >= -5 && exponent <= 15) {
    out.append(number);
    return true;
  }

  if (exponent_part != end) {
    const char* q = exponent_part + 1;
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
  for (ptrdiff_t i = first; i <= last; ++i) digits[i - first] = digit(i);
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
