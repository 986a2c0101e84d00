#pragma once

#include <vector>

#include "jet/core/schema_info.h"
#include "jet/query/property_blob.h"

namespace jet {

// The DAO type number a column type shows as.
int16_t DaoTypeOf(const ColumnDef& column);

// The DAO Size of a column: characters for text, 0 for memo and OLE, bytes otherwise.
int32_t DaoSizeOf(const ColumnDef& column, Format format);

// The fields of a table with their properties from the table's property blob (which may be
// empty), in column-number order.
std::vector<FieldInfo> ReadFields(const TableDef& table, const PropertyBlob& properties,
                                  uint16_t code_page = kWesternCodePage);

// The indexes of a table as DAO lists them.
std::vector<IndexInfo> ReadIndexes(const TableDef& table);

}  // namespace jet
