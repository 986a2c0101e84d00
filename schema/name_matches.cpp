#include "schema/name_matches.h"

#include <algorithm>

#include "schema/comparison_rules.h"

namespace schema {

void NameMatches::Table::Fill(std::span<const std::string_view> names, std::vector<int32_t>* first_of) {
  size_t capacity = 8;
  while (capacity < names.size() * 2) capacity *= 2;
  slots.assign(capacity, -1);
  hashes.resize(names.size());
  const size_t mask = capacity - 1;
  for (size_t i = 0; i < names.size(); ++i) {
    const size_t hash = NameKeyHash(names[i]);
    hashes[i] = hash;
    int32_t first = static_cast<int32_t>(i);
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
      const int32_t held = slots[slot];
      if (held < 0) {
        slots[slot] = first;
        break;
      }
      // Names SameName with each other hash alike: another hash is another name.
      if (hashes[static_cast<size_t>(held)] == hash && SameName(names[static_cast<size_t>(held)], names[i])) {
        first = held;
        break;
      }
    }
    if (first_of) (*first_of)[i] = first;
  }
}

int32_t NameMatches::Table::Find(std::span<const std::string_view> names, std::string_view name, size_t hash) const {
  const size_t mask = slots.size() - 1;
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const int32_t held = slots[slot];
    if (held < 0) return -1;
    if (hashes[static_cast<size_t>(held)] == hash && SameName(names[static_cast<size_t>(held)], name)) return held;
  }
}

void NameMatches::Match(std::span<const std::string_view> reference, std::span<const std::string_view> local) {
  local_of_.assign(reference.size(), -1);
  in_reference_.assign(local.size(), 0);
  // A local copy nearly always spells every name as the reference does, in the same places.
  // Then the local list is the reference one: each name's first match is the first of its
  // name in the reference itself, which indexing the reference tells, and every local name
  // is found. One table and one hash per name, where matching both ways takes two of each.
  if (std::equal(reference.begin(), reference.end(), local.begin(), local.end())) {
    reference_table_.Fill(reference, &local_of_);
    std::fill(in_reference_.begin(), in_reference_.end(), uint8_t{1});
    return;
  }
  reference_table_.Fill(reference, nullptr);
  local_table_.Fill(local, nullptr);
  for (size_t m = 0; m < local.size(); ++m)
    in_reference_[m] = reference_table_.Find(reference, local[m], local_table_.hashes[m]) >= 0 ? 1 : 0;
  for (size_t k = 0; k < reference.size(); ++k)
    local_of_[k] = local_table_.Find(local, reference[k], reference_table_.hashes[k]);
}

}  // namespace schema
