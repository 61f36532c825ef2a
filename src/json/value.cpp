#include "json/value.h"

#include <algorithm>

namespace trovik::json {
namespace {

constexpr size_t kInsertionSortLimit = 32;

bool key_less(const Object::Entry& entry, std::string_view key) { return entry.first < key; }

}  // namespace

Object Object::from_entries(std::vector<Entry> entries) {
  // A stable sort keeps equal keys in text order, so the last of each run is the one that wins.
  // Small objects, the common case, are insertion-sorted: stable too, and without the scratch
  // buffer std::stable_sort allocates.
  const auto less = [](const Entry& a, const Entry& b) { return a.first < b.first; };
  if (entries.size() <= kInsertionSortLimit) {
    for (size_t i = 1; i < entries.size(); ++i) {
      if (!less(entries[i], entries[i - 1])) continue;
      Entry moving = std::move(entries[i]);
      size_t j = i;
      do {
        entries[j] = std::move(entries[j - 1]);
        --j;
      } while (j > 0 && less(moving, entries[j - 1]));
      entries[j] = std::move(moving);
    }
  } else {
    std::stable_sort(entries.begin(), entries.end(), less);
  }
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
