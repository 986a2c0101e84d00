#include "jet/check/database_check.h"

#include <memory>

#include "jet/check/index_check.h"
#include "jet/check/page_claims.h"
#include "jet/check/table_check.h"
#include "jet/common/error.h"
#include "jet/core/catalog.h"
#include "jet/core/usage_map.h"

namespace jet::check {
namespace {

// Page 1, row 0: a set bit marks a free page.
constexpr uint32_t kGlobalMapPointer = (1u << 8) | 0;

void CheckGlobalMap(Database& database, const PageClaims& claims, CheckReport& report) {
  std::vector<uint32_t> free_pages;
  try {
    free_pages = ReadUsageMap(database.pages(), database.format(), kGlobalMapPointer).pages;
  } catch (const Error& error) {
    report.Add(Severity::kError, 1, "", std::string("the map of free pages cannot be read: ") + error.description());
    return;
  }
  for (uint32_t page : free_pages) {
    const auto claim = claims.claims().find(page);
    if (claim == claims.claims().end()) continue;
    report.Add(Severity::kError, page, claim->second.second,
               std::string("the file marks a page free that is in use as ") + NameOf(claim->second.first) + " page");
  }
}

}  // namespace

CheckReport CheckDatabase(Database& database) {
  CheckReport report;
  PageClaims claims;
  PageSource& pages = database.pages();
  claims.Claim(1, PageUse::kUsageMap, "the file", report);
  for (const TableInfo& table : database.tables()) {
    if (table.object.type != object_type::kTable) continue;
    ++report.tables_checked;
    const TableRows rows =
        CheckTableRows(pages, database.format(), database.header().code_page, table.def, table.name, claims, report);
    report.rows_checked += rows.live_rows;
    for (size_t i = 0; i < table.def.real_indexes.size(); ++i) {
      const RealIndexDef& index = table.def.real_indexes[i];
      claims.Claim(index.usage_map_pointer >> 8, PageUse::kUsageMap, table.name, report);
      CheckRealIndex(pages, database.format(), table.def, i, table.name, rows, claims, report);
    }
    for (const LongValueMapsDef& maps : table.def.long_value_maps)
      for (uint32_t pointer : {maps.owned_pages_pointer, maps.free_pages_pointer})
        if (pointer != 0) claims.Claim(pointer >> 8, PageUse::kUsageMap, table.name, report);
  }
  CheckGlobalMap(database, claims, report);
  return report;
}

CheckReport CheckDatabase(PageSource& pages) {
  std::unique_ptr<Database> database;
  try {
    database = Database::FromPages(pages, "");
  } catch (const Error& error) {
    CheckReport report;
    report.Add(Severity::kError, 0, "", std::string("the catalog cannot be read: ") + error.description());
    return report;
  }
  return CheckDatabase(*database);
}

}  // namespace jet::check
