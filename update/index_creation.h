#pragma once

#include "schema/engine.h"
#include "update/pass_context.h"

namespace update {

// Makes the local table's indexes agree with the reference: an index of a reference name
// with other fields is dropped, and every reference index then missing is created.
void CreateMissingIndexes(PassContext& pass, schema::TableDef& reference, schema::TableDef& local);

// A new, not yet appended index on `target` with the name, flags and field names of `source`.
schema::IndexRef CopyIndex(schema::Index& source, schema::TableDef& target);

}  // namespace update
