#include "jet/write/index_definition.h"

#include <algorithm>

#include "jet/common/error.h"
#include "jet/core/schema_info.h"
#include "jet/core/table_definition_layout.h"

namespace jet {
namespace {

constexpr size_t kMaxIndexesPerTable = 32;
// Every Jet 4 index Access writes carries this bit; Jet 3 ones never do.
constexpr uint8_t kJet4IndexBit = 0x80;
// Observed in both cascade bytes of every logical index that is not a foreign key.
constexpr uint8_t kNoRelationCascade = 0x04;
constexpr uint32_t kNoRelatedIndex = 0xFFFFFFFF;

}  // namespace

size_t AppendIndexDefinition(TableDef& table, const NewIndex& spec, uint32_t usage_map_pointer) {
  for (const LogicalIndexDef& index : table.indexes) {
    if (SameObjectName(index.name, spec.name)) throw Error(3284, "Index already exists.");
    if (spec.primary && index.primary()) throw Error(3283, "Primary key already exists.");
  }
  if (table.indexes.size() >= kMaxIndexesPerTable)
    throw Error(3626, "The operation failed. There are too many indexes on table '" + table.name +
                          "'. Delete some of the indexes on the table and try the operation again.");
  if (spec.fields.empty()) throw Error(3264, "No field defined--cannot append TableDef or Index.");
  if (spec.fields.size() > kMaxIndexColumns) throw Error(3129, "An index has more than 10 fields.");

  RealIndexDef real;
  for (const std::string& name : spec.fields) {
    auto column = std::find_if(table.columns.begin(), table.columns.end(),
                               [&](const ColumnDef& c) { return SameObjectName(c.name, name); });
    if (column == table.columns.end())
      ThrowItemNotFound(name);
    real.columns.push_back(IndexColumnDef{column->number, true});
  }
  real.usage_map_pointer = usage_map_pointer;
  if (spec.primary) real.flags |= index_flag::kUnique | index_flag::kRequired;
  if (spec.unique) real.flags |= index_flag::kUnique;
  if (table.format == Format::kJet4) real.flags |= kJet4IndexBit;
  table.real_indexes.push_back(real);

  LogicalIndexDef logical;
  logical.name = spec.name;
  uint32_t number = 0;
  for (const LogicalIndexDef& index : table.indexes) number = std::max(number, index.index_number + 1);
  logical.index_number = number;
  logical.real_index = static_cast<uint32_t>(table.real_indexes.size() - 1);
  logical.kind = spec.primary ? 1 : 0;
  logical.related_index = kNoRelatedIndex;
  logical.cascade_update = kNoRelationCascade;
  logical.cascade_delete = kNoRelationCascade;
  table.indexes.push_back(logical);
  return table.real_indexes.size() - 1;
}

RemovedIndex RemoveIndexDefinition(TableDef& table, size_t logical) {
  RemovedIndex removed;
  const uint32_t real = table.indexes.at(logical).real_index;
  table.indexes.erase(table.indexes.begin() + static_cast<std::ptrdiff_t>(logical));
  const bool shared = std::any_of(table.indexes.begin(), table.indexes.end(),
                                  [&](const LogicalIndexDef& index) { return index.real_index == real; });
  if (!shared && real < table.real_indexes.size()) {
    removed.real = table.real_indexes[real];
    table.real_indexes.erase(table.real_indexes.begin() + real);
    for (LogicalIndexDef& index : table.indexes)
      if (index.real_index > real) --index.real_index;
  }
  std::vector<LogicalIndexDef*> by_number;
  for (LogicalIndexDef& index : table.indexes) by_number.push_back(&index);
  std::stable_sort(by_number.begin(), by_number.end(),
                   [](const LogicalIndexDef* a, const LogicalIndexDef* b) { return a->index_number < b->index_number; });
  for (uint32_t i = 0; i < by_number.size(); ++i) {
    if (by_number[i]->index_number != i) removed.renumbered[by_number[i]->index_number] = i;
    by_number[i]->index_number = i;
  }
  return removed;
}

}  // namespace jet
