#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "schema/name_index.h"

namespace schema {

// How the names of two lists (the fields of a reference table and of its local copy) pair up
// under SameName's rule: for each reference name the first local name it matches, and for
// each local name whether any reference name matches it. Made once and matched again for
// each pair of lists, so that a schema of hundreds of tables reuses its buffers; the views
// must outlive Match only.
class NameMatches {
 public:
  void Match(std::span<const std::string_view> reference, std::span<const std::string_view> local);

  // Position of the first local name SameName with reference name `position`, or -1.
  int32_t LocalOf(size_t position) const { return local_of_[position]; }
  // Whether some reference name is SameName with local name `position`.
  bool InReference(size_t position) const { return in_reference_[position] != 0; }

 private:
  std::vector<int32_t> local_of_;
  std::vector<uint8_t> in_reference_;
  BasicNameIndex<std::string_view> reference_index_, local_index_;
};

}  // namespace schema
