#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/common/page_source.h"
#include "jet/core/optional_text.h"
#include "jet/core/table_def.h"
#include "jet/core/table_scan.h"
#include "jet/query/query_row.h"

namespace jet {

// Object types of MSysObjects.Type.
namespace object_type {
inline constexpr int16_t kTable = 1;
inline constexpr int16_t kDatabase = 2;
inline constexpr int16_t kContainer = 3;
inline constexpr int16_t kLinkedOdbc = 4;
inline constexpr int16_t kQuery = 5;
inline constexpr int16_t kLinkedTable = 6;
inline constexpr int16_t kRelationship = 8;
}  // namespace object_type

// MSysObjects lives at a fixed place in every Jet file.
inline constexpr uint32_t kCatalogDefinitionPage = 2;
// Table ids carry their definition page in the low 24 bits.
inline constexpr uint32_t kObjectIdPageMask = 0x00FFFFFF;

// One row of MSysObjects, as far as the engine interprets it.
struct CatalogObject {
  int32_t id = 0;
  int32_t parent_id = 0;
  std::string name;
  int16_t type = 0;
  int32_t flags = 0;
  // Linked tables only: one pointer each (see OptionalText), as a catalog holds a row for
  // every table and most are local.
  OptionalText connect;
  OptionalText database;
  OptionalText foreign_name;
  std::vector<uint8_t> properties;  // LvProp; empty when Null
  RowLocation location;             // where its row is stored
};

// Every row of MSysObjects in stored order.
std::vector<CatalogObject> ReadCatalog(PageSource& pages, const TableDef& msys_objects, uint16_t code_page);

// Every row of MSysQueries in stored order.
std::vector<QueryRow> ReadQueryRows(PageSource& pages, const TableDef& msys_queries, uint16_t code_page);

}  // namespace jet
