#pragma once

#include <cstdint>

#include "jet/common/format.h"
#include "jet/common/page_source.h"
#include "jet/core/table_def.h"

namespace jet {

// Page type of a table definition page.
inline constexpr uint8_t kTableDefinitionPageType = 0x02;

// Reads the table definition whose first page is `definition_page`, following its
// continuation pages. Columns come out in descriptor order (see TableDef); `name` is left
// empty: the catalog holds it. Raises a corrupt-database error for a chain that loops or
// leaves the file, a page that is not a definition page, or sections that do not fit.
TableDef ReadTableDefinition(PageSource& pages, Format format, uint32_t definition_page, uint16_t code_page = 1252);

}  // namespace jet
