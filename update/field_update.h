#pragma once

#include "schema/engine.h"
#include "update/pass_context.h"

namespace update {

// Local indexes, then local fields, that the reference table does not name.
void RemoveObsoleteIndexes(PassContext& pass, schema::TableDef& reference, schema::TableDef& local);
void RemoveObsoleteFields(PassContext& pass, schema::TableDef& reference, schema::TableDef& local);

enum class FieldUpdateOutcome { kUpToDate, kNeedsRebuild };

// Adds and fills the fields the local table lacks; stops at the first field whose type, or
// text size, differs, since the table must then be rebuilt.
FieldUpdateOutcome UpdateFields(PassContext& pass, schema::TableDef& reference, schema::TableDef& local);

// Creates `source` on `target` and appends it. A field added to a stored table copies the
// zero-length flag; one of a table being built always allows zero-length text.
enum class FieldTarget { kStoredTable, kTableBeingBuilt };
schema::FieldRef CreateFieldLike(const schema::Field& source, schema::TableDef& target, FieldTarget kind);

}  // namespace update
