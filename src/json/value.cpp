#include "json/value.h"

#include <algorithm>

namespace trovik::json {
namespace {

bool key_less(const Object::Entry& entry, std::string_view key) { return entry.first < key; }

}  // namespace

Object Object::from_entries(std::vector<Entry> entries) {
  // A stable sort keeps equal keys in text order, so the last of each run is the one that wins.
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.first < b.first; });
  Object object;
  object.entries_.reserve(entries.size());
  for (auto& entry : entries) {
    if (!object.entries_.empty() && object.entries_.back().first == entry.first) {
      object.entries_.back().second = std::move(entry.second);
    } else {
      object.entries_.push_back(std::move(entry));
    }
  }
  return object;
}

void Object::insert(std::string key, Value value) {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), std::string_view(key), key_less);
  if (it != entries_.end() && it->first == key) {
    it->second = std::move(value);
  } else {
    entries_.emplace(it, std::move(key), std::move(value));
  }
}

const Value* Object::find(std::string_view key) const {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), key, key_less);
  if (it != entries_.end() && it->first == key) return &it->second;
  return nullptr;
}

bool operator==(const Object& a, const Object& b) { return a.entries_ == b.entries_; }

}  // namespace trovik::json
