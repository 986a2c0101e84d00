#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "schema/comparison_rules.h"

namespace schema {

// Positions by name under SameName's rule: the first position of each name, and after each
// position the next one of a name SameName with it. Names are added in position order. Open
// addressing in flat arrays, hashed by NameKeyHash, so that a collection of any size costs a
// few allocations and no key strings: the passes index every field of every table this way.
// Key is the name as kept: a copy, or a view of names that outlive the index.
template <typename Key>
class BasicNameIndex {
 public:
  explicit BasicNameIndex(size_t expected = 0) {
    keys_.reserve(expected);
    next_.reserve(expected);
    Rehash(expected);
  }

  size_t size() const { return keys_.size(); }

  // Adds the name of position size().
  void Add(Key name) {
    if ((keys_.size() + 1) * 2 > slots_.size()) Rehash(keys_.size() + 1);
    const int32_t position = static_cast<int32_t>(keys_.size());
    const size_t slot = SlotOf(name);
    keys_.push_back(std::move(name));
    next_.push_back(-1);
    if (slots_[slot].first < 0) {
      slots_[slot] = {position, position};
    } else {
      next_[static_cast<size_t>(slots_[slot].last)] = position;
      slots_[slot].last = position;
    }
  }

  // The first position of a name SameName with `name`, or -1.
  int32_t First(std::string_view name) const { return slots_[SlotOf(name)].first; }
  // The next position of a name SameName with that of `position`, or -1.
  int32_t Next(int32_t position) const { return next_[static_cast<size_t>(position)]; }

 private:
  struct Slot {
    int32_t first = -1;
    int32_t last = -1;
  };

  // The slot holding the name, or the empty slot where it would go.
  size_t SlotOf(std::string_view name) const {
    const size_t mask = slots_.size() - 1;
    for (size_t slot = NameKeyHash(name) & mask;; slot = (slot + 1) & mask) {
      const int32_t first = slots_[slot].first;
      if (first < 0 || SameName(keys_[static_cast<size_t>(first)], name)) return slot;
    }
  }

  // Room for `count` keys at half load at most, so that a probe always meets an empty slot.
  void Rehash(size_t count) {
    size_t capacity = 8;
    while (capacity < count * 2) capacity *= 2;
    slots_.assign(capacity, Slot{});
    for (size_t position = 0; position < keys_.size(); ++position) {
      const size_t slot = SlotOf(keys_[position]);
      if (slots_[slot].first < 0) {
        slots_[slot] = {static_cast<int32_t>(position), static_cast<int32_t>(position)};
      } else {
        slots_[slot].last = static_cast<int32_t>(position);  // next_ already links them
      }
    }
  }

  std::vector<Key> keys_;  // the names as added
  std::vector<int32_t> next_;
  std::vector<Slot> slots_;
};

using NameIndex = BasicNameIndex<std::string>;

}  // namespace schema
