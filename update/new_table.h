#pragma once

#include "schema/engine.h"
#include "update/pass_context.h"

namespace update {

// Creates in the local database the reference table that it lacks, with its fields and
// indexes and no rows.
void CreateNewTable(PassContext& pass, schema::TableDef& reference);

// One field on `target` (a table definition not yet stored) for each field of `reference`.
void CopyFields(schema::TableDef& reference, schema::TableDef& target);

}  // namespace update
