#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace schema {

// Positions by name key (NameKey): the first position of each key, and after each position
// the next one of the same key. Keys are added in position order. Open addressing in flat
// arrays, so a collection of any size costs a few allocations rather than one per name: the
// passes index every field of every table this way.
class NameIndex {
 public:
  explicit NameIndex(size_t expected = 0) {
    keys_.reserve(expected);
    next_.reserve(expected);
    Rehash(expected);
  }

  size_t size() const { return keys_.size(); }

  // Adds the key of position size().
  void Add(std::string key) {
    if ((keys_.size() + 1) * 2 > slots_.size()) Rehash(keys_.size() + 1);
    const int32_t position = static_cast<int32_t>(keys_.size());
    const size_t slot = SlotOf(key);
    keys_.push_back(std::move(key));
    next_.push_back(-1);
    if (slots_[slot].first < 0) {
      slots_[slot] = {position, position};
    } else {
      next_[static_cast<size_t>(slots_[slot].last)] = position;
      slots_[slot].last = position;
    }
  }

  // The first position of the key, or -1.
  int32_t First(std::string_view key) const { return slots_[SlotOf(key)].first; }
  // The next position with the key of `position`, or -1.
  int32_t Next(int32_t position) const { return next_[static_cast<size_t>(position)]; }

 private:
  struct Slot {
    int32_t first = -1;
    int32_t last = -1;
  };

  // The slot holding the key, or the empty slot where it would go.
  size_t SlotOf(std::string_view key) const {
    const size_t mask = slots_.size() - 1;
    for (size_t slot = std::hash<std::string_view>{}(key) & mask;; slot = (slot + 1) & mask) {
      const int32_t first = slots_[slot].first;
      if (first < 0 || keys_[static_cast<size_t>(first)] == key) return slot;
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

  std::vector<std::string> keys_;
  std::vector<int32_t> next_;
  std::vector<Slot> slots_;
};

}  // namespace schema
