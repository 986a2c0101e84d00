#pragma once

#include "update/pass_context.h"

namespace update {

// Whole-object phases that run once, before the table walk, in this order.
void RemoveLinkedTables(PassContext& pass);    // errors ignored, no lines
void RemoveObsoleteQueries(PassContext& pass);
void CreateMissingQueries(PassContext& pass);
void RemoveObsoleteTables(PassContext& pass);

}  // namespace update
