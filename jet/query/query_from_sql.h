#pragma once

#include <string>
#include <vector>

#include "jet/query/query_row.h"

namespace jet {

// The MSysQueries rows Access stores for a query created with this SQL text (object ids left
// at 0 for the caller to fill in). Handles select, make-table, append, update, delete,
// crosstab and union queries and data-definition statements. Text it cannot store raises a
// jet::Error with Jet's syntax error number (3129, 3131 FROM, 3134 INSERT INTO, 3144 UPDATE)
// and yields no rows.
std::vector<QueryRow> QueryRowsFromSql(const std::string& name, const std::string& sql);

}  // namespace jet
