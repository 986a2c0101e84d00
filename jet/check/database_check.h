#pragma once
// The consistency checker: everything the catalog reaches, held against itself.

#include "jet/check/check_report.h"
#include "jet/common/page_source.h"
#include "jet/core/database.h"

namespace jet::check {

// Checks every local table the catalog lists: its data pages against its usage map, row
// slots, forwarding stubs, long values, the row count of its definition, and every real
// index; then that no page is used twice and none in use is marked free in the file's
// global map. Damage becomes findings; nothing raises.
CheckReport CheckDatabase(Database& database);

// The same for pages at hand; a file whose catalog cannot be read gives a report with that
// one finding.
CheckReport CheckDatabase(PageSource& pages);

}  // namespace jet::check
