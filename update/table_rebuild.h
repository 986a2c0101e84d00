#pragma once

#include <string>

#include "schema/engine.h"
#include "schema/pass_state.h"
#include "schema/pass_window.h"
#include "update/pass_context.h"

namespace update {

// Recreates the local table under a temporary name with the reference fields, copies the
// rows across and swaps the two. The outcome is in pass.state.nErrore / sErrore; failures
// before the copy are raised.
void RebuildTable(PassContext& pass, schema::TableDef& reference);

// A name for the rebuilt table that no table of either database bears: the table name
// followed by 1, 2, ...
std::string FreeTemporaryName(schema::Database& reference, schema::Database& local, const std::string& table);

// Copies the rows of `table` into `temporary`, drops `table` and gives `temporary` its name.
// Reports every failure through state.nErrore / sErrore (0 after success); raises nothing.
void CopyTableData(schema::Database& database, const std::string& table, const std::string& temporary,
                   schema::PassState& state, schema::PassWindow& window);

}  // namespace update
