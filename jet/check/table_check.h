#pragma once
// The stored rows of one table checked against its definition and its usage map.

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "jet/check/check_report.h"
#include "jet/check/page_claims.h"
#include "jet/common/format.h"
#include "jet/common/page_source.h"
#include "jet/core/table_def.h"
#include "jet/core/value.h"

namespace jet::check {

// A row's home: the page and slot index entries and forwarding stubs point at.
using RowPlace = std::pair<uint32_t, uint16_t>;

struct TableRows {
  std::map<RowPlace, Row> rows;  // every live row that decoded, by home place
  uint32_t live_rows = 0;        // decoded or not
};

// Checks every page the table's map lists (type, owner, row slots), follows forwarding stubs
// and long values, decodes every live row and compares the count with the definition's.
// Never raises for damage: each problem becomes a finding and the rest is still checked.
TableRows CheckTableRows(PageSource& pages, Format format, uint16_t code_page, const TableDef& table,
                         const std::string& name, PageClaims& claims, CheckReport& report);

}  // namespace jet::check
