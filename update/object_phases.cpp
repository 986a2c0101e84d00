#include "update/object_phases.h"

#include <string>
#include <vector>

#include "schema/comparison_rules.h"
#include "schema/collection_walk.h"

namespace update {

using schema::FindByName;
using schema::ForEachPosition;
using schema::IgnoringErrors;
using schema::NamesOf;
namespace {

bool ReferenceHasTable(schema::TableDefs& reference, const std::string& name) {
  bool found = false;
  ForEachPosition(reference.Count(), [&](int16_t i) {
    schema::TableDefRef table = reference.Item(i);
    if (schema::IsSystemTable(table->Attributes())) return true;
    found = schema::SameName(table->Name(), name);
    return !found;
  });
  return found;
}

}  // namespace

void RemoveLinkedTables(PassContext& pass) {
  schema::TableDefs& local = pass.Local().Tables();
  std::vector<std::string> names;
  int16_t count = 0;
  IgnoringErrors([&] { count = local.Count(); });
  for (int16_t i = 0; i < count; ++i) {
    IgnoringErrors([&] {
      schema::TableDefRef table = local.Item(i);
      const int32_t attributes = table->Attributes();
      if (!schema::IsSystemTable(attributes) && schema::IsLinkedTable(attributes)) names.push_back(table->Name());
    });
  }
  for (const std::string& name : names) IgnoringErrors([&] { local.Delete(name); });
}

void RemoveObsoleteQueries(PassContext& pass) {
  schema::QueryDefs& local = pass.Local().Queries();
  schema::QueryDefs& reference = pass.Reference().Queries();
  if (local.Count() < 1) return;
  for (const std::string& name : NamesOf(local)) {
    if (schema::IsKeptQuery(name)) continue;
    if (FindByName(reference.Count(), name, [&](int16_t j) { return reference.Item(j)->Name(); }) >= 0) continue;
    local.Delete(name);
    pass.Line("Eliminata Query -> " + name);
  }
}

void CreateMissingQueries(PassContext& pass) {
  schema::QueryDefs& local = pass.Local().Queries();
  schema::QueryDefs& reference = pass.Reference().Queries();
  ForEachPosition(reference.Count(), [&](int16_t i) {
    schema::QueryDefRef query = reference.Item(i);
    const std::string name = query->Name();
    if (FindByName(local.Count(), name, [&](int16_t j) { return local.Item(j)->Name(); }) < 0) {
      pass.Local().CreateQueryDef(name, query->SQL(), query.get());
      pass.Line("Nuova query -> " + name);
    }
    return true;
  });
}

void RemoveObsoleteTables(PassContext& pass) {
  schema::TableDefs& local = pass.Local().Tables();
  schema::TableDefs& reference = pass.Reference().Tables();
  std::vector<std::string> candidates;
  ForEachPosition(local.Count(), [&](int16_t i) {
    schema::TableDefRef table = local.Item(i);
    if (schema::IsSystemTable(table->Attributes())) return true;
    std::string name = table->Name();
    if (!(pass.state.bKVO && schema::IsTemporaryTableName(name))) candidates.push_back(std::move(name));
    return true;
  });
  for (const std::string& name : candidates) {
    if (ReferenceHasTable(reference, name) || schema::IsClientiTmp(name)) continue;
    local.Delete(name);
    pass.Line("Eliminata Tabella -> " + name);
  }
}

}  // namespace update
