#include "jet/core/page_bounds.h"

#include <string>

#include "jet/common/error.h"
#include "jet/core/database.h"

namespace jet {

void RequireTablesWithinFile(Database& database) {
  const uint32_t page_count = database.pages().page_count();
  auto check = [&](const TableDef& table, uint32_t page, const char* what) {
    if (page >= page_count)
      ThrowCorrupt("table '" + table.name + "': its " + what + " is page " + std::to_string(page) +
                   ", past the end of the file (" + std::to_string(page_count) + " pages)");
  };
  // A usage map pointer holds the page in its upper three bytes and the row in the lowest.
  auto check_map = [&](const TableDef& table, uint32_t pointer, const char* what) {
    if (pointer) check(table, pointer >> 8, what);
  };
  for (const TableInfo& table : database.tables()) {
    const TableDef& def = table.def;
    for (uint32_t page : def.definition_pages) check(def, page, "definition");
    check_map(def, def.owned_pages_pointer, "usage map");
    check_map(def, def.free_pages_pointer, "usage map");
    for (const RealIndexDef& index : def.real_indexes) {
      if (index.first_page) check(def, index.first_page, "index root");
      check_map(def, index.usage_map_pointer, "index usage map");
    }
    for (const LongValueMapsDef& maps : def.long_value_maps) {
      check_map(def, maps.owned_pages_pointer, "long-value usage map");
      check_map(def, maps.free_pages_pointer, "long-value usage map");
    }
  }
}

}  // namespace jet
