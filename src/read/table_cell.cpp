#include "read/table_cell.h"

#include <cstdlib>
#include <limits>

#include "read/text_format.h"

namespace trovik::read {

static_assert(std::numeric_limits<long double>::digits >= 64,
              "sort numbers must hold every 64-bit integer exactly");

Cell Cell::recorded(json::Value value) {
  Cell cell;
  cell.content_ = std::move(value);
  return cell;
}

Cell Cell::text(std::string shown) { return counted(std::move(shown), std::nullopt); }

Cell Cell::counted(std::string shown, std::optional<int64_t> number) {
  Cell cell;
  if (!shown.empty()) cell.content_ = Shown{std::move(shown), number};
  return cell;
}

std::string Cell::text() const {
  if (const json::Value* value = recorded_value()) return cell_text(*value);
  if (const Shown* shown = std::get_if<Shown>(&content_)) return shown->text;
  return {};
}

std::optional<long double> Cell::sort_number() const {
  if (const Shown* shown = std::get_if<Shown>(&content_)) {
    if (shown->number) return static_cast<long double>(*shown->number);
    return std::nullopt;
  }
  const json::Value* value = recorded_value();
  if (value == nullptr) return std::nullopt;
  switch (value->type()) {
    case json::Value::Type::kUnsigned:
      return static_cast<long double>(value->as_unsigned());
    case json::Value::Type::kNegative:
      return static_cast<long double>(value->as_negative());
    case json::Value::Type::kDouble:
      return static_cast<long double>(value->as_double());
    case json::Value::Type::kBigInteger:
      return std::strtold(value->as_big_integer().c_str(), nullptr);
    default:
      return std::nullopt;
  }
}

bool same_value(const Cell& a, const Cell& b) {
  if (a.present() != b.present()) return false;
  if (!a.present()) return true;
  const json::Value* recorded_a = a.recorded_value();
  const json::Value* recorded_b = b.recorded_value();
  if (recorded_a != nullptr && recorded_b != nullptr) return *recorded_a == *recorded_b;
  return a.text() == b.text();
}

bool sorts_before(const Cell& a, const Cell& b, bool descending) {
  if (a.present() != b.present()) return a.present();
  const std::optional<long double> number_a = a.sort_number();
  const std::optional<long double> number_b = b.sort_number();
  if (number_a && number_b) return descending ? *number_a > *number_b : *number_a < *number_b;
  const std::string text_a = a.text();
  const std::string text_b = b.text();
  return descending ? text_a > text_b : text_a < text_b;
}

}  // namespace trovik::read
