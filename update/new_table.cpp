#include "update/new_table.h"

#include "schema/collection_walk.h"
#include "update/field_update.h"
#include "update/index_creation.h"

namespace update {

using schema::ForEachPosition;

void CreateNewTable(PassContext& pass, schema::TableDef& reference) {
  schema::TableDefRef table = pass.Local().CreateTableDef(pass.table_name);
  CopyFields(reference, *table);
  pass.window.DoEvents();
  schema::Indexes& reference_indexes = reference.TableIndexes();
  ForEachPosition(reference_indexes.Count(), [&](int16_t i) {
    table->TableIndexes().Append(CopyIndex(*reference_indexes.Item(i), *table));
    return true;
  });
  pass.Line("Nuova tabella " + pass.table_name);
  pass.Local().Tables().Append(table);
  pass.window.DoEvents();
}

void CopyFields(schema::TableDef& reference, schema::TableDef& target) {
  schema::Fields& fields = reference.TableFields();
  ForEachPosition(fields.Count(), [&](int16_t k) {
    CreateFieldLike(*fields.Item(k), target, FieldTarget::kTableBeingBuilt);
    return true;
  });
}

}  // namespace update
