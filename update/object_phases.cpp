#include "update/object_phases.h"

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "schema/comparison_rules.h"
#include "schema/collection_walk.h"
#include "schema/name_positions.h"

namespace update {

using schema::ForEachPosition;
using schema::IgnoringErrors;
using schema::NamesOf;
namespace {

// Whether the reference has a user table of the name; the reference does not change during
// the pass, so its names are read once.
class ReferenceTableNames {
 public:
  explicit ReferenceTableNames(schema::TableDefs& reference)
      : reference_(reference), positions_(reference.Count(), [&reference](int16_t i) { return reference.Item(i)->Name(); }) {}
  bool Has(const std::string& name) const {
    for (int16_t i : positions_.All(name))
      if (!schema::IsSystemTable(reference_.Item(i)->Attributes())) return true;
    return false;
  }

 private:
  using NameAt = std::function<std::string(int16_t)>;
  schema::TableDefs& reference_;
  schema::NamePositions<NameAt> positions_;
};

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
  const schema::NamePositions in_reference(reference.Count(), [&](int16_t j) { return reference.Item(j)->Name(); });
  for (const std::string& name : NamesOf(local)) {
    if (schema::IsKeptQuery(name)) continue;
    if (in_reference.First(name) >= 0) continue;
    local.Delete(name);
    pass.Line("Eliminata Query -> " + name);
  }
}

void CreateMissingQueries(PassContext& pass) {
  schema::QueryDefs& local = pass.Local().Queries();
  schema::QueryDefs& reference = pass.Reference().Queries();
  // The local names, kept up to date with the queries this phase creates.
  std::unordered_set<std::string> local_names;
  for (const std::string& name : NamesOf(local)) local_names.insert(schema::NameKey(name));
  ForEachPosition(reference.Count(), [&](int16_t i) {
    schema::QueryDefRef query = reference.Item(i);
    const std::string name = query->Name();
    if (local_names.count(schema::NameKey(name)) == 0) {
      pass.Local().CreateQueryDef(name, query->SQL(), query.get());
      local_names.insert(schema::NameKey(name));
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
  const ReferenceTableNames reference_names(reference);
  for (const std::string& name : candidates) {
    if (reference_names.Has(name) || schema::IsClientiTmp(name)) continue;
    local.Delete(name);
    pass.Line("Eliminata Tabella -> " + name);
  }
}

}  // namespace update
