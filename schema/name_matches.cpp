#include "schema/name_matches.h"

#include <algorithm>

namespace schema {

void NameMatches::Match(std::span<const std::string_view> reference, std::span<const std::string_view> local) {
  local_of_.assign(reference.size(), -1);
  in_reference_.assign(local.size(), 0);
  reference_index_.Reset(reference.size());
  // A local copy nearly always spells every name as the reference does, in the same places.
  // Then the local list is the reference one: each name's first match is the first of its
  // name in the reference itself, which indexing the reference tells, and every local name
  // is found. One index and one hash per name, where matching both ways takes two of each.
  if (std::equal(reference.begin(), reference.end(), local.begin(), local.end())) {
    for (size_t k = 0; k < reference.size(); ++k) local_of_[k] = reference_index_.Add(reference[k]);
    std::fill(in_reference_.begin(), in_reference_.end(), uint8_t{1});
    return;
  }
  for (std::string_view name : reference) reference_index_.Add(name);
  local_index_.Reset(local.size());
  for (std::string_view name : local) local_index_.Add(name);
  // Each name is looked up in the other list's index with the hash its own index kept.
  for (size_t m = 0; m < local.size(); ++m)
    in_reference_[m] = reference_index_.First(local[m], local_index_.hash(m)) >= 0 ? 1 : 0;
  for (size_t k = 0; k < reference.size(); ++k) local_of_[k] = local_index_.First(reference[k], reference_index_.hash(k));
}

}  // namespace schema
