#pragma once

#include <string>
#include <vector>

#include "jet/query/query_attribute.h"
#include "jet/query/query_row.h"

namespace jet {

// The type of the query these rows (all rows of one query, in stored order) describe. Raises a
// corrupt-database error when the rows carry no type or one Jet does not know.
QueryType QueryTypeOf(const std::vector<QueryRow>& rows);

// The name the type goes by in dumps: SELECT, MAKE_TABLE, APPEND, UPDATE, DELETE, CROSS_TAB,
// DATA_DEFINITION, PASSTHROUGH, UNION.
const char* QueryTypeName(QueryType type);

// The SQL text of the query as DAO shows it in QueryDef.SQL: clauses on lines of their own,
// separated by "\r\n", ending in ";". Pass-through and data-definition queries give their
// stored text (without the terminating zero Access stores after it).
std::string QuerySql(const std::vector<QueryRow>& rows);

}  // namespace jet
