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
  explicit BasicNameIndex(size_t expected = 0) { Reset(expected); }

  // Empties the index for about `expected` names, keeping its storage: a caller indexing the
  // fields of table after table allocates once.
  void Reset(size_t expected) {
    keys_.clear();
    hashes_.clear();
    next_.clear();
    keys_.reserve(expected);
    hashes_.reserve(expected);
    next_.reserve(expected);
    Rehash(expected);
  }

  size_t size() const { return keys_.size(); }
  // The NameKeyHash of the name of `position`, as computed when it was added.
  size_t hash(size_t position) const { return hashes_[position]; }

  // Adds the name of position size(), and answers the first position of its name: that
  // position itself unless an earlier name is SameName with it.
  int32_t Add(Key name) {
    const size_t hash = NameKeyHash(name);
    return Add(std::move(name), hash);
  }
  // The same with the name's NameKeyHash already at hand: a caller matching two lists hashes
  // each name once, for its own index and for the lookup in the other.
  int32_t Add(Key name, size_t hash) {
    if ((keys_.size() + 1) * 2 > slots_.size()) Rehash(keys_.size() + 1);
    const int32_t position = static_cast<int32_t>(keys_.size());
    const size_t slot = SlotOf(name, hash);
    keys_.push_back(std::move(name));
    hashes_.push_back(hash);
    next_.push_back(-1);
    if (slots_[slot].first < 0) {
      slots_[slot] = {position, position};
      return position;
    }
    next_[static_cast<size_t>(slots_[slot].last)] = position;
    slots_[slot].last = position;
    return slots_[slot].first;
  }

  // The first position of a name SameName with `name`, or -1.
  int32_t First(std::string_view name) const { return slots_[SlotOf(name, NameKeyHash(name))].first; }
  // The same for a name whose NameKeyHash is `hash`.
  int32_t First(std::string_view name, size_t hash) const { return slots_[SlotOf(name, hash)].first; }
  // The next position of a name SameName with that of `position`, or -1.
  int32_t Next(int32_t position) const { return next_[static_cast<size_t>(position)]; }

 private:
  struct Slot {
    int32_t first = -1;
    int32_t last = -1;
  };

  // The slot holding the name, or the empty slot where it would go.
  size_t SlotOf(std::string_view name, size_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
      const int32_t first = slots_[slot].first;
      // Names SameName with each other hash alike: a slot of another hash is another name,
      // told without comparing.
      if (first < 0) return slot;
      if (hashes_[static_cast<size_t>(first)] == hash && SameName(keys_[static_cast<size_t>(first)], name)) return slot;
    }
  }

  // Room for `count` keys at half load at most, so that a probe always meets an empty slot.
  void Rehash(size_t count) {
    size_t capacity = 8;
    while (capacity < count * 2) capacity *= 2;
    slots_.assign(capacity, Slot{});
    for (size_t position = 0; position < keys_.size(); ++position) {
      const size_t slot = SlotOf(keys_[position], hashes_[position]);
      if (slots_[slot].first < 0) {
        slots_[slot] = {static_cast<int32_t>(position), static_cast<int32_t>(position)};
      } else {
        slots_[slot].last = static_cast<int32_t>(position);  // next_ already links them
      }
    }
  }

  std::vector<Key> keys_;  // the names as added
  std::vector<size_t> hashes_;  // theirs, so that growing hashes nothing again
  std::vector<int32_t> next_;
  std::vector<Slot> slots_;
};

using NameIndex = BasicNameIndex<std::string>;

}  // namespace schema
