#include "json/value.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace trovik::json {
namespace {

bool key_less(const Object::Entry& entry, std::string_view key) { return entry.first < key; }

bool strictly_ascending(const Object::Entry* first, const Object::Entry* last) {
  for (const Object::Entry* p = first; p != last && p + 1 != last; ++p) {
    if (!(p[0].first < p[1].first)) return false;
  }
  return true;
}

}  // namespace

Object Object::from_entries(std::vector<Entry> entries) {
  Entry* const first = entries.data();
  Entry* const last = first + entries.size();
  if (!strictly_ascending(first, last)) return from_entries(first, last);
  Object object;
  object.entries_ = std::move(entries);
  return object;
}

Object Object::from_entries(Entry* first, Entry* last) {
  Object object;
  if (strictly_ascending(first, last)) {
    object.entries_.assign(std::make_move_iterator(first), std::make_move_iterator(last));
    return object;
  }
  // Sort small (key, position) pairs instead of the entries themselves, then move each entry that
  // is kept once, to its final place. Equal keys sort by position, so the last of each run is the
  // one that wins.
  struct Slot {
    std::string_view key;
    size_t position;
  };
  std::vector<Slot> order;
  order.reserve(static_cast<size_t>(last - first));
  for (Entry* p = first; p != last; ++p) {
    order.push_back(Slot{p->first, static_cast<size_t>(p - first)});
  }
  std::sort(order.begin(), order.end(), [](const Slot& a, const Slot& b) {
    const int compared = a.key.compare(b.key);
    return compared < 0 || (compared == 0 && a.position < b.position);
  });
  object.entries_.reserve(order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    // Looks only forward: the key of an entry already moved is gone.
    if (i + 1 < order.size() && order[i + 1].key == order[i].key) continue;
    object.entries_.push_back(std::move(first[order[i].position]));
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
