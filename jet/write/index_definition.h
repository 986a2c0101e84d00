#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "jet/core/table_def.h"

namespace jet {

// An index to create, as DAO's CreateIndex / Index.Fields.Append describe it.
struct NewIndex {
  std::string name;
  bool primary = false;  // a primary key is also unique and refuses nulls
  bool unique = false;
  std::vector<std::string> fields;  // key order; ascending
};

// Adds the logical index and a real index of its own (with its usage map at
// `usage_map_pointer`; first_page 0 until the caller builds the tree). Returns the real
// index's position. Raises 3284 for a taken name, 3283 for a second primary key, 3264 for an
// index without fields, 3265 for a field the table lacks, 3626 past 32 indexes.
size_t AppendIndexDefinition(TableDef& table, const NewIndex& spec, uint32_t usage_map_pointer);

// What removing a logical index left to clean up.
struct RemovedIndex {
  std::optional<RealIndexDef> real;            // the real index when no other index used it
  std::map<uint32_t, uint32_t> renumbered;     // old -> new logical index numbers
};

// Removes logical index `logical` (a position in table.indexes); the real index goes with it
// when nothing else uses it. The remaining logical indexes are numbered 0.. again in their
// order, as Access numbers them.
RemovedIndex RemoveIndexDefinition(TableDef& table, size_t logical);

}  // namespace jet
