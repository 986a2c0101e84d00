#pragma once

#include <cstdint>
#include <string>

#include "jet/core/header_page.h"
#include "jet/core/table_def.h"

namespace jet {

// A column to add to a table, as DAO's CreateField describes it.
struct NewColumn {
  std::string name;
  int16_t dao_type = 10;
  int32_t size = 0;  // text: characters; other types: ignored
};

// Adds the column to the definition as Access lays out a new column: after the highest fixed
// value, in a variable slot never used before, with long-value maps for memo and OLE. Existing
// rows read it as Null. Raises 3259 for a type Jet has no storage for, 3129 for a text size
// above 255, 3191 when the name is taken, 3190 past 255 columns.
void AppendColumn(TableDef& table, const NewColumn& spec, const DatabaseHeader& header);

}  // namespace jet
