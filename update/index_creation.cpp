#include "update/index_creation.h"

#include <string>

#include "schema/collection_walk.h"

namespace update {

using schema::FindByName;
using schema::ForEachPosition;
namespace {

// An index agrees when it has as many fields as the reference index and every reference
// field name among them; field order and the two flags do not count.
bool Agrees(schema::Index& local, schema::Index& reference) {
  schema::Fields& local_fields = local.IndexFields();
  schema::Fields& reference_fields = reference.IndexFields();
  if (local_fields.Count() != reference_fields.Count()) return false;
  bool found = false;
  ForEachPosition(reference_fields.Count(), [&](int16_t k) {
    const std::string name = reference_fields.Item(k)->Name();
    found = FindByName(local_fields.Count(), name, [&](int16_t m) { return local_fields.Item(m)->Name(); }) >= 0;
    return found;
  });
  return found;
}

}  // namespace

// The local indexes are walked for each reference index: a Jet table has at most 32, and the
// phase deletes and appends them as it goes, which an index by name would have to follow.
void CreateMissingIndexes(PassContext& pass, schema::TableDef& reference, schema::TableDef& local) {
  schema::Indexes& reference_indexes = reference.TableIndexes();
  schema::Indexes& local_indexes = local.TableIndexes();
  ForEachPosition(reference_indexes.Count(), [&](int16_t i) {
    schema::IndexRef reference_index = reference_indexes.Item(i);
    const std::string name = reference_index->Name();
    bool found = false;
    const int16_t match =
        FindByName(local_indexes.Count(), name, [&](int16_t j) { return local_indexes.Item(j)->Name(); });
    if (match >= 0) {
      found = Agrees(*local_indexes.Item(match), *reference_index);
      if (!found) local_indexes.Delete(name);
    }
    if (!found) {
      local_indexes.Append(CopyIndex(*reference_index, local));
      pass.Line(pass.TableLine(" :     Nuovo Indice -> " + name));
    }
    return true;
  });
}

schema::IndexRef CopyIndex(schema::Index& source, schema::TableDef& target) {
  const std::string name = source.Name();
  const bool primary = source.Primary();
  const bool unique = source.Unique();
  schema::IndexRef index = target.CreateIndex(name);
  index->SetPrimary(primary);
  index->SetUnique(unique);
  schema::Fields& source_fields = source.IndexFields();
  ForEachPosition(source_fields.Count(), [&](int16_t k) {
    index->IndexFields().Append(index->CreateField(source_fields.Item(k)->Name()));
    return true;
  });
  return index;
}

}  // namespace update
