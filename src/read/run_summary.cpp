#include "read/run_summary.h"

namespace trovik::read {

const SeriesSummary* RunSummary::find_series(std::string_view series_name) const {
  for (const SeriesSummary& s : series) {
    if (s.name == series_name) return &s;
  }
  return nullptr;
}

const json::Value* RunSummary::run_start_member(
    std::initializer_list<std::string_view> keys) const {
  if (!run_start) return nullptr;
  const json::Value* current = &*run_start;
  for (std::string_view key : keys) {
    if (current->type() != json::Value::Type::kObject) return nullptr;
    current = current->as_object().find(key);
    if (current == nullptr) return nullptr;
  }
  return current;
}

}  // namespace trovik::read
