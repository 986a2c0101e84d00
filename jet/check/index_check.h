#pragma once
// One real index checked against the rows of its table.

#include <string>

#include "jet/check/check_report.h"
#include "jet/check/page_claims.h"
#include "jet/check/table_check.h"
#include "jet/common/format.h"
#include "jet/common/page_source.h"
#include "jet/core/table_def.h"

namespace jet::check {

// Walks the index tree (page types, owners, loops, sibling links of the leaves, free-space
// fields, its usage map) and holds the entries against `rows`: in key order, each pointing at
// a live row, one per row (rows whose indexed columns are all Null are left out of an
// ignore-nulls index), and each key the one encoded from its row. Never raises for damage.
void CheckRealIndex(PageSource& pages, Format format, const TableDef& table, size_t real_index,
                    const std::string& name, const TableRows& rows, PageClaims& claims, CheckReport& report);

}  // namespace jet::check
