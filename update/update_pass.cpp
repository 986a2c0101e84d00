#include "update/update_pass.h"

#include <optional>
#include <string>

#include "schema/comparison_rules.h"
#include "schema/collection_walk.h"
#include "schema/name_positions.h"
#include "update/error_record.h"
#include "update/field_update.h"
#include "update/index_creation.h"
#include "update/new_table.h"
#include "update/object_phases.h"
#include "update/pass_context.h"
#include "update/table_rebuild.h"

namespace update {

using schema::ForEachPosition;
namespace {

enum class WalkOutcome { kCompleted, kRebuilt, kRebuildFailed };

// Raised when the walk meets again a table it has already rebuilt in this pass: the rebuild
// did not take, and another would not either.
[[noreturn]] void RaiseRebuildDidNotTake(const std::string& table) {
  throw jet::Error(kGenericFailure, "Table " + table + " still differs after rebuild");
}

// The work on one reference table and the local table of the same name.
WalkOutcome UpdatePair(PassContext& pass, schema::TableDef& reference, schema::TableDef& local) {
  RemoveObsoleteIndexes(pass, reference, local);
  RemoveObsoleteFields(pass, reference, local);
  if (UpdateFields(pass, reference, local) == FieldUpdateOutcome::kNeedsRebuild) {
    const std::string key = schema::UpperCase(schema::TrimBlanks(pass.table_name));
    if (!pass.rebuilt_tables.insert(key).second) RaiseRebuildDidNotTake(pass.table_name);
    RebuildTable(pass, reference);
    return pass.state.nErrore == 0 ? WalkOutcome::kRebuilt : WalkOutcome::kRebuildFailed;
  }
  pass.window.DoEvents();
  CreateMissingIndexes(pass, reference, local);
  return WalkOutcome::kCompleted;
}

// One traversal of the reference tables; it ends early when a table was rebuilt.
WalkOutcome WalkReferenceTables(PassContext& pass) {
  schema::TableDefs& reference_tables = pass.Reference().Tables();
  schema::TableDefs& local_tables = pass.Local().Tables();
  WalkOutcome outcome = WalkOutcome::kCompleted;
  // The local tables by name, read again when a new table has moved their positions: within
  // one traversal tables are only added (a rebuild ends it), so a changed count tells.
  auto local_name_at = [&](int16_t j) { return local_tables.Item(j)->Name(); };
  std::optional<schema::NamePositions<decltype(local_name_at)>> local_positions;
  int16_t positions_count = -1;
  ForEachPosition(reference_tables.Count(), [&](int16_t i) {
    schema::TableDefRef reference = reference_tables.Item(i);
    if (schema::IsSystemTable(reference->Attributes())) return true;
    pass.table_name = reference->Name();
    if (!local_positions || local_tables.Count() != positions_count) {
      positions_count = local_tables.Count();
      local_positions.emplace(positions_count, local_name_at);
    }
    schema::TableDefRef local;
    for (int16_t j : local_positions->All(pass.table_name)) {
      schema::TableDefRef candidate = local_tables.Item(j);
      if (schema::IsSystemTable(candidate->Attributes())) continue;
      local = candidate;
      break;
    }
    if (local == nullptr) {
      CreateNewTable(pass, *reference);
      return true;
    }
    outcome = UpdatePair(pass, *reference, *local);
    return outcome == WalkOutcome::kCompleted;
  });
  return outcome;
}

void WalkUntilDone(PassContext& pass) {
  WalkOutcome outcome;
  do {
    outcome = WalkReferenceTables(pass);
  } while (outcome == WalkOutcome::kRebuilt);
}

void ShowFailure(PassContext& pass) {
  pass.window.MessageBox("ERRORE in aggiornamento DB: tabella " + pass.table_name + "\n" + pass.state.sErrore +
                             "\n\nRILANCIARE la fase di aggiornamento del DataBase (bottone 'ESEGUI'). ",
                         16, "ERRORE in aggiornamento");
}

// Closing comes last and must not be skipped: a database that fails to close may not have
// kept the pass's changes, so such a failure turns a success into a failure. A failed pass
// drops its changes to the local database where the engine can: the user is told to run the
// update again, and that run starts from the database as it was, with every row in place.
void CloseAndRelease(PassContext& pass) {
  schema::PassState& state = pass.state;
  schema::PassState close_failure;
  if (state.dbLoc && state.nErrore != 0) {
    FailureOf(close_failure, [&] { state.dbLoc->CloseDiscardingChanges(); });
  } else if (state.dbLoc) {
    FailureOf(close_failure, [&] { state.dbLoc->Close(); });
  }
  if (state.dbAgg) FailureOf(close_failure, [&] { state.dbAgg->Close(); });
  state.dbLoc.reset();
  state.dbAgg.reset();
  state.wsDAO.reset();
  if (close_failure.nErrore != 0 && state.nErrore == 0) {
    state.nErrore = close_failure.nErrore;
    state.sErrore = close_failure.sErrore;
    pass.table_name.clear();  // no table is at fault
    pass.window.RunLogSetBackColor(schema::kRunLogPaleRed);
    ShowFailure(pass);
  }
}

}  // namespace

void RunUpdate(schema::PassState& state, schema::PassWindow& window, schema::DBEngine& engine) {
  PassContext pass(state, window);  // fills the field type table first
  window.RunLogSetBackColor(schema::kRunLogPaleRed);
  window.BusyCursorOn();
  state.nErrore = 0;
  state.sErrore.clear();

  // A database that does not open must not read as an update with nothing to do.
  const bool failed_to_open = FailureOf(state, [&] {
    state.wsDAO = engine.Workspaces(0);
    state.dbAgg = state.wsDAO->OpenDatabase(state.LPathAgg);
    state.dbLoc = state.wsDAO->OpenDatabase(state.LPathLoc);
  });

  if (!failed_to_open) {
    RemoveLinkedTables(pass);
    FailureOf(state, [&] {
      pass.Local().Tables().Refresh();
      window.DoEvents();
      RemoveObsoleteQueries(pass);
      CreateMissingQueries(pass);
      RemoveObsoleteTables(pass);
      WalkUntilDone(pass);
    });
  }

  if (state.nErrore != 0)
    ShowFailure(pass);
  else
    window.RunLogSetBackColor(schema::kRunLogPaleGreen);
  CloseAndRelease(pass);
  window.BusyCursorOff();
}

}  // namespace update
