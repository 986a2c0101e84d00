#include "update/table_rebuild.h"

#include <string>

#include "schema/comparison_rules.h"
#include "schema/runtime_error.h"
#include "update/bracketed_name.h"
#include "schema/collection_walk.h"
#include "update/error_record.h"
#include "update/new_table.h"

namespace update {

using schema::FindByName;
using schema::ForEachPosition;
namespace {

constexpr int32_t kFailOnError = 128;

// Any table, system or not, whose name the rule of the pass does not tell from `name`.
bool HasTableNamed(schema::Database& database, const std::string& name) {
  schema::TableDefs& tables = database.Tables();
  return FindByName(tables.Count(), name, [&](int16_t i) { return tables.Item(i)->Name(); }) >= 0;
}

// Position of the first non-system table whose name passes `matches`, or -1.
template <typename Matches>
int16_t FindUserTable(schema::TableDefs& tables, Matches&& matches) {
  int16_t found = -1;
  ForEachPosition(tables.Count(), [&](int16_t i) {
    schema::TableDefRef table = tables.Item(i);
    if (schema::IsSystemTable(table->Attributes()) || !matches(table->Name())) return true;
    found = i;
    return false;
  });
  return found;
}

// A table left behind by an earlier failed rebuild bears the first temporary name exactly.
// One that the reference also has is a table of the schema with rows of its own, not a
// leftover, and stays.
void RemoveLeftoverOfEarlierRebuild(PassContext& pass) {
  const std::string leftover = pass.table_name + "1";
  if (HasTableNamed(pass.Reference(), leftover)) return;
  schema::TableDefs& local = pass.Local().Tables();
  if (FindUserTable(local, [&](const std::string& name) { return name == leftover; }) < 0) return;
  local.Delete(leftover);
  local.Refresh();
}

}  // namespace

std::string FreeTemporaryName(schema::Database& reference, schema::Database& local, const std::string& table) {
  int16_t suffix = 1;
  std::string name = table + "1";
  while (HasTableNamed(reference, name) || HasTableNamed(local, name)) {
    suffix = schema::Add16(suffix, 1);
    name = table + std::to_string(suffix);
  }
  return name;
}

void RebuildTable(PassContext& pass, schema::TableDef& reference) {
  RemoveLeftoverOfEarlierRebuild(pass);
  pass.window.DoEvents();
  const std::string temporary = FreeTemporaryName(pass.Reference(), pass.Local(), pass.table_name);
  schema::TableDefRef rebuilt = pass.Local().CreateTableDef(temporary);
  CopyFields(reference, *rebuilt);
  pass.Local().Tables().Append(rebuilt);
  pass.window.DoEvents();
  CopyTableData(pass.Local(), pass.table_name, temporary, pass.state, pass.window);
}

void CopyTableData(schema::Database& database, const std::string& table, const std::string& temporary,
                   schema::PassState& state, schema::PassWindow& window) {
  state.nErrore = 0;
  state.sErrore.clear();
  const std::string copy =
      "INSERT INTO " + Bracketed(temporary) + " SELECT " + Bracketed(table) + ".* FROM " + Bracketed(table);
  if (FailureOf(state, [&] { database.Execute(copy, kFailOnError); })) return;

  // The old table and the copy swap places. Each failure is reported: left unreported, the
  // walk would find the old structure again and rebuild the table without end.
  schema::TableDefs& tables = database.Tables();
  if (FailureOf(state, [&] {
        const int16_t old_table =
            FindUserTable(tables, [&](const std::string& name) { return schema::SameName(name, table); });
        if (old_table < 0) return;
        tables.Delete(tables.Item(old_table)->Name());
        tables.Refresh();
      }))
    return;
  if (FailureOf(state, [&] {
        const int16_t copied = FindUserTable(tables, [&](const std::string& name) { return name == temporary; });
        if (copied < 0)
          throw jet::Error(jet::err::kItemNotFound, "Table " + temporary + " not found after the copy of " + table);
        tables.Item(copied)->SetName(table);
        tables.Refresh();
      })) {
    // The old table is gone by now: where the failed pass's changes stay, the user must
    // know where its rows are. An engine that drops them keeps the rows where they were.
    if (!database.DiscardsChangesOnRequest())
      state.sErrore += " (the rows of " + table + " are in table " + temporary + ")";
    return;
  }
  window.DoEvents();
}

}  // namespace update
