#include "schema/verify_pass.h"

#include <algorithm>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "schema/collection_walk.h"
#include "schema/comparison_rules.h"
#include "schema/name_matches.h"
#include "schema/name_positions.h"
#include "schema/runtime_error.h"

namespace schema {
namespace {

class Verifier {
 public:
  Verifier(PassState& state, PassWindow& window) : state_(state), window_(window) {}

  void LinkedLocalTables() {
    std::vector<std::string> names;
    int16_t count = 0;
    IgnoringErrors([&] { count = state_.dbLoc->Tables().Count(); });
    for (int16_t i = 0; i < count; ++i) {
      IgnoringErrors([&] {
        TableDefRef table = state_.dbLoc->Tables().Item(i);
        int32_t attributes = table->Attributes();
        if (!IsSystemTable(attributes) && IsLinkedTable(attributes)) names.push_back(table->Name());
      });
    }
    for (const std::string& name : names) IgnoringErrors([&] { Line("Disconnetto: " + name); });
  }

  void Queries() {
    QueryDefs& local = state_.dbLoc->Queries();
    QueryDefs& reference = state_.dbAgg->Queries();
    if (local.Count() >= 1) {
      std::vector<std::string> names;
      ForEachPosition(local.Count(), [&](int16_t i) {
        names.push_back(local.Item(i)->Name());
        return true;
      });
      const NamePositions in_reference(reference.Count(), [&](int16_t j) { return reference.Item(j)->Name(); });
      for (const std::string& name : names) {
        if (IsKeptQuery(name)) continue;
        if (in_reference.First(name) < 0) Line("Cancello query: " + name);
      }
    }
    const NamePositions in_local(local.Count(), [&](int16_t j) { return local.Item(j)->Name(); });
    ForEachPosition(reference.Count(), [&](int16_t i) {
      std::string name = reference.Item(i)->Name();
      if (in_local.First(name) < 0) Line("Nuova query: " + name);
      return true;
    });
  }

  void SurplusLocalTables() {
    TableDefs& local = state_.dbLoc->Tables();
    TableDefs& reference = state_.dbAgg->Tables();
    std::vector<std::string> names;
    int16_t n = -1;
    ForEachPosition(local.Count(), [&](int16_t i) {
      TableDefRef table = local.Item(i);
      if (IsSystemTable(table->Attributes())) return true;
      std::string name = table->Name();
      if (state_.bKVO && IsTemporaryTableName(name)) return true;
      n = Add16(n, 1);
      names.push_back(name);
      return true;
    });
    const NamePositions in_reference(reference.Count(), [&](int16_t j) { return reference.Item(j)->Name(); });
    for (const std::string& name : names) {
      bool found = false;
      for (int16_t j : in_reference.All(name)) {
        if (!IsSystemTable(reference.Item(j)->Attributes())) {
          found = true;
          break;
        }
      }
      if (!found && !IsClientiTmp(name)) Line("Elimino Tabella: " + name);
    }
  }

  void TablesInBoth() {
    TableDefs& local = state_.dbLoc->Tables();
    TableDefs& reference = state_.dbAgg->Tables();
    ItemsReadOnce<TableDefs, TableDefRef> local_items(local, local.Count());
    const NamePositions in_local(local.Count(), [&](int16_t j) { return local_items.Name(j); });
    ForEachPosition(reference.Count(), [&](int16_t i) {
      TableDefRef reference_table = reference.Item(i);
      if (IsSystemTable(reference_table->Attributes())) return true;
      const std::string table_name = reference_table->Name();
      bool found = false;
      for (int16_t j : in_local.All(table_name)) {
        TableDefRef local_table = local_items.Item(j);
        if (IsSystemTable(local_table->Attributes())) continue;
        ComparePair(table_name, *reference_table, *local_table);
        found = true;
        window_.DoEvents();
      }
      if (!found) Line("Nuova tabella: " + table_name);
      return true;
    });
  }

 private:
  void ComparePair(const std::string& t, TableDef& reference, TableDef& local) {
    Indexes& local_indexes = local.TableIndexes();
    Indexes& reference_indexes = reference.TableIndexes();
    if (local_indexes.ReadNames(local_index_names_) && reference_indexes.ReadNames(reference_index_names_)) {
      matches_.Match(reference_index_names_, local_index_names_);
      for (size_t m = 0; m < local_index_names_.size(); ++m) {
        if (!matches_.InReference(m)) DroppedIndex(t, local_index_names_[m]);
      }
    } else {
      IndexesItemByItem(t, reference_indexes, local_indexes);
    }
    Fields& local_fields = local.TableFields();
    Fields& reference_fields = reference.TableFields();
    if (local_fields.ReadFacts(local_facts_) && reference_fields.ReadFacts(reference_facts_)) {
      CompareFacts(t);
    } else {
      FieldsItemByItem(t, reference_fields, local_fields);
    }
  }

  // The fields of a pair from the engine's own lists: the lines are those the walk item by
  // item writes, in its order.
  void CompareFacts(const std::string& t) {
    local_names_.resize(local_facts_.size());
    for (size_t m = 0; m < local_facts_.size(); ++m) local_names_[m] = local_facts_[m].name;
    reference_names_.resize(reference_facts_.size());
    for (size_t k = 0; k < reference_facts_.size(); ++k) reference_names_[k] = reference_facts_[k].name;
    matches_.Match(reference_names_, local_names_);
    for (size_t m = 0; m < local_names_.size(); ++m) {
      if (!matches_.InReference(m)) DroppedField(t, local_names_[m]);
    }
    for (size_t k = 0; k < reference_facts_.size(); ++k) {
      const FieldFacts& reference_field = reference_facts_[k];
      const int32_t match = matches_.LocalOf(k);
      if (match < 0) {
        NewField(t, reference_field.name);
        continue;
      }
      const FieldFacts& local_field = local_facts_[static_cast<size_t>(match)];
      CompareField(t, std::string(reference_field.name), local_field.type, reference_field.type, local_field.size,
                   reference_field.size);
    }
  }

  void IndexesItemByItem(const std::string& t, Indexes& reference_indexes, Indexes& local_indexes) {
    if (local_indexes.Count() >= 1) {
      std::vector<std::string> names;
      ForEachPosition(local_indexes.Count(), [&](int16_t k) {
        names.push_back(local_indexes.Item(k)->Name());
        return true;
      });
      const NamePositions in_reference(reference_indexes.Count(),
                                       [&](int16_t k) { return reference_indexes.Item(k)->Name(); });
      for (const std::string& name : names) {
        if (in_reference.First(name) < 0) DroppedIndex(t, name);
      }
    }
  }

  // Each field of the pair is fetched and named once: the comparison reads every field of
  // both tables three or four times, which on a wide schema made the engine's objects most of
  // the cost of a verify run.
  void FieldsItemByItem(const std::string& t, Fields& reference_fields, Fields& local_fields) {
    ItemsReadOnce<Fields, FieldRef> reference_items(reference_fields, reference_fields.Count());
    ItemsReadOnce<Fields, FieldRef> local_items(local_fields, local_fields.Count());
    const NamePositions in_reference(reference_fields.Count(), [&](int16_t k) { return reference_items.Name(k); });
    if (local_fields.Count() >= 1) {
      std::vector<std::string> names;
      const int16_t count = local_fields.Count();
      names.reserve(static_cast<size_t>(std::max<int16_t>(count, 0)));
      ForEachPosition(count, [&](int16_t k) {
        names.push_back(local_items.Name(k));
        return true;
      });
      for (const std::string& name : names) {
        if (in_reference.First(name) < 0) DroppedField(t, name);
      }
    }
    const NamePositions in_local(local_fields.Count(), [&](int16_t m) { return local_items.Name(m); });
    ForEachPosition(reference_fields.Count(), [&](int16_t k) {
      FieldRef reference_field = reference_items.Item(k);
      const std::string f = reference_items.Name(k);
      const int16_t match = in_local.First(f);
      if (match < 0) {
        NewField(t, f);
        return true;
      }
      FieldRef local_field = local_items.Item(match);
      const int16_t local_type = local_field->Type();
      const int16_t reference_type = reference_field->Type();
      if (local_type != reference_type || local_type != 10) {
        CompareField(t, f, local_type, reference_type, 0, 0);
        return true;
      }
      // Sizes are asked for only where both fields are text, local first, as ever.
      const int32_t local_size = local_field->Size();
      const int32_t reference_size = reference_field->Size();
      CompareField(t, f, local_type, reference_type, local_size, reference_size);
      return true;
    });
  }

  // The lines of a pair, written alike whether the fields were read at once or item by item.
  void DroppedIndex(const std::string& t, std::string_view name) {
    Line("Tabella  " + t + " : Elimino Indice -> " + std::string(name));
  }
  void DroppedField(const std::string& t, std::string_view name) {
    Line("Tabella  " + t + " : Elimino  Campo -> " + std::string(name));
  }
  void NewField(const std::string& t, std::string_view name) {
    Line("Tabella  " + t + " :     Nuovo  Campo: " + std::string(name));
  }
  void CompareField(const std::string& t, const std::string& f, int16_t local_type, int16_t reference_type,
                    int32_t local_size, int32_t reference_size) {
    if (local_type != reference_type) {
      Line("Tabella  " + t + " : Campo " + f + " di tipo diverso: da '" + types_.Name(local_type) + "' a '" +
           types_.Name(reference_type) + "' - sostituisco ...");
    } else if (local_type == 10 && local_size != reference_size) {
      Line("Tabella  " + t + " : Campo " + f + " con dimensione diversa: da " + std::to_string(local_size) + " a " +
           std::to_string(reference_size) + " - sostituisco ...");
    }
  }

  void Line(const std::string& text) { window_.RunLogAddItem(text); }

  PassState& state_;
  PassWindow& window_;
  FieldTypeTable types_;
  // Kept from pair to pair: a schema has hundreds of them.
  std::vector<std::string_view> local_index_names_, reference_index_names_;
  std::vector<FieldFacts> local_facts_, reference_facts_;
  std::vector<std::string_view> local_names_, reference_names_;
  NameMatches matches_;
};

void CloseAndRelease(PassState& state) {
  if (state.dbLoc) IgnoringErrors([&] { state.dbLoc->Close(); });
  if (state.dbAgg) IgnoringErrors([&] { state.dbAgg->Close(); });
  state.dbLoc.reset();
  state.dbAgg.reset();
  state.wsDAO.reset();
}

void RecordFailure(PassState& state, int32_t number, const std::string& description) {
  state.nErrore = ErrorNumberForState(number);
  state.sErrore = description;
}

}  // namespace

void VerifyUpdate(PassState& state, PassWindow& window, DBEngine& engine, const WhileOpen& after_comparison) {
  Verifier verifier(state, window);  // builds the field type table first
  window.RunLogSetBackColor(kRunLogPaleRed);
  window.RunLogClear();
  window.BusyCursorOn();
  state.nErrore = 0;
  state.sErrore.clear();

  // A database that does not open must not pass for an empty comparison: say so, and leave
  // the failure in nErrore.
  std::string opening = state.LPathAgg;
  try {
    state.wsDAO = engine.Workspaces(0);
    // The local database may be read meanwhile; a failure of the reference's open is still
    // the one reported, as if the local one had not been tried.
    Workspace::PendingOpen local_opening = state.wsDAO->OpenDatabaseAhead(state.LPathLoc);
    state.dbAgg = state.wsDAO->OpenDatabase(state.LPathAgg);
    opening = state.LPathLoc;
    state.dbLoc = local_opening();
  } catch (const jet::Error& error) {
    RecordFailure(state, error.number(), error.description());
  } catch (const std::exception& error) {
    RecordFailure(state, 3000, error.what());
  }
  if (state.nErrore != 0) {
    window.RunLogAddItem("Impossibile aprire il database " + opening + ": " + state.sErrore);
    CloseAndRelease(state);
    window.BusyCursorOff();
    window.MessageBox("Impossibile aprire il database " + opening + "\n" + state.sErrore, 16, "");
    return;
  }

  verifier.LinkedLocalTables();
  try {
    window.DoEvents();
    verifier.Queries();
    verifier.SurplusLocalTables();
    verifier.TablesInBoth();
  } catch (const jet::Error& error) {
    RecordFailure(state, error.number(), error.description());
  } catch (const std::exception& error) {
    RecordFailure(state, 3000, error.what());
  }
  if (state.nErrore == 0 && after_comparison) {
    try {
      after_comparison(*state.dbAgg, *state.dbLoc);
    } catch (...) {
      CloseAndRelease(state);
      window.BusyCursorOff();
      throw;
    }
  }
  CloseAndRelease(state);
  window.BusyCursorOff();
}

}  // namespace schema
