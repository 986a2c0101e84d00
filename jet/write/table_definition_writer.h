#pragma once

#include <cstdint>
#include <vector>

#include "jet/core/table_def.h"
#include "jet/store/page_overlay.h"
#include "jet/write/page_allocator.h"

namespace jet {

// The definition stream of a table (first page header included, continuation headers not):
// the inverse of ReadTableDefinition. Bytes the engine does not interpret come from the
// records' `stored` copies, or Access's defaults for new records.
std::vector<uint8_t> EncodeTableDefinition(const TableDef& table, uint16_t code_page = 1252);

// Stores the definition on its pages: the chain it has (table.definition_pages; for a new
// table the first page is table.definition_page), longer or shorter as the stream needs.
// Pages the chain no longer needs go back to the allocator; table.definition_pages is updated.
void WriteTableDefinition(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table,
                          uint16_t code_page = 1252);

}  // namespace jet
