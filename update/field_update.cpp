#include "update/field_update.h"

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "schema/collection_walk.h"
#include "schema/name_index.h"
#include "schema/name_positions.h"
#include "schema/runtime_error.h"
#include "update/bracketed_name.h"

namespace update {

using schema::FindByName;
using schema::ForEachPosition;
using schema::NamesOf;
namespace {

constexpr int16_t kText = 10;
constexpr int16_t kMemo = 12;
constexpr int32_t kFailOnError = 128;

// Every existing row gets a value in the new field, so that no row is left with a null
// where the reference expects data.
void FillNewField(PassContext& pass, const std::string& field, int16_t type) {
  const std::string value = (type == kText || type == kMemo) ? "' '" : "0";
  pass.Local().Execute("UPDATE " + Bracketed(pass.table_name) + " SET " + Bracketed(field) + " = " + value,
                       kFailOnError);
}

// The line for a field present on both sides whose definition needs a rebuild; empty when
// the field is unchanged.
std::string DifferenceLine(PassContext& pass, const std::string& name, const schema::Field& local,
                           const schema::Field& reference) {
  const int16_t local_type = local.Type();
  const int16_t reference_type = reference.Type();
  if (local_type != reference_type)
    return pass.TableLine(" : Campo " + name + " di tipo diverso: da '" + pass.types.Name(local_type) + "' a '" +
                          pass.types.Name(reference_type) + "' - sostituisco ...");
  if (local_type != kText) return {};
  const int32_t local_size = local.Size();
  const int32_t reference_size = reference.Size();
  if (local_size == reference_size) return {};
  return pass.TableLine(" : Campo " + name + " con dimensione diversa: da " + std::to_string(local_size) + " a " +
                        std::to_string(reference_size) + " - sostituisco ...");
}

// The reference does not change during the pass, so its names are read once for all the
// local names looked up in it.
void RemoveObsolete(PassContext& pass, const std::vector<std::string>& local_names, int16_t reference_count,
                    const auto& reference_name_at, const auto& remove, const std::string& line_text) {
  const schema::NamePositions in_reference(reference_count, reference_name_at);
  for (const std::string& name : local_names) {
    if (in_reference.First(name) >= 0) continue;
    remove(name);
    pass.Line(pass.TableLine(line_text + name));
  }
}

// The local table's fields by name, for UpdateFields: each reference field is looked up here
// instead of walking the local fields again, which made a wide table quadratic. The phase
// only appends fields, each at the end of the collection, so the index takes each new one
// as the walk would meet it; should the collection show anything else, it is read again.
// The names are read where the walk would first read them, at the first lookup; if one
// fails, every lookup walks the collection, so that it fails exactly as the walk does.
class LocalFieldPositions {
 public:
  explicit LocalFieldPositions(schema::Fields& fields) : fields_(fields) {}

  // The position FindByName gives for `name`.
  int16_t First(const std::string& name) {
    if (!walk_) Refresh();
    if (walk_) return FindByName(fields_.Count(), name, [&](int16_t m) { return NameAt(m); });
    return static_cast<int16_t>(index_->First(name));
  }

  // A field of this name was appended since the last lookup.
  void Appended(std::string name) {
    if (index_) appended_.push_back(std::move(name));
  }

 private:
  std::string NameAt(int16_t position) const { return fields_.Item(position)->Name(); }

  void Refresh() {
    try {
      if (index_ && !appended_.empty()) TakeAppended();
      if (!index_) ReadAll();
    } catch (const std::exception&) {
      index_.reset();
      walk_ = true;
    }
    appended_.clear();
  }

  void TakeAppended() {
    const int16_t count = fields_.Count();
    if (static_cast<size_t>(count) != index_->size() + appended_.size()) {
      index_.reset();
      return;
    }
    for (const std::string& name : appended_) {
      const auto position = static_cast<int16_t>(index_->size());
      std::string found = NameAt(position);
      if (!schema::SameName(found, name)) {
        index_.reset();
        return;
      }
      index_->Add(std::move(found));
    }
  }

  void ReadAll() {
    const int16_t count = fields_.Count();
    schema::NameIndex index(count > 0 ? static_cast<size_t>(count) : 0);
    ForEachPosition(count, [&](int16_t m) {
      index.Add(NameAt(m));
      return true;
    });
    index_ = std::move(index);
  }

  schema::Fields& fields_;
  std::optional<schema::NameIndex> index_;
  std::vector<std::string> appended_;
  bool walk_ = false;
};

}  // namespace

void RemoveObsoleteIndexes(PassContext& pass, schema::TableDef& reference, schema::TableDef& local) {
  schema::Indexes& local_indexes = local.TableIndexes();
  schema::Indexes& reference_indexes = reference.TableIndexes();
  if (local_indexes.Count() < 1) return;
  RemoveObsolete(
      pass, NamesOf(local_indexes), reference_indexes.Count(),
      [&](int16_t k) { return reference_indexes.Item(k)->Name(); },
      [&](const std::string& name) { local_indexes.Delete(name); }, " : Eliminato Indice -> ");
}

void RemoveObsoleteFields(PassContext& pass, schema::TableDef& reference, schema::TableDef& local) {
  schema::Fields& local_fields = local.TableFields();
  schema::Fields& reference_fields = reference.TableFields();
  if (local_fields.Count() < 1) return;
  RemoveObsolete(
      pass, NamesOf(local_fields), reference_fields.Count(),
      [&](int16_t k) { return reference_fields.Item(k)->Name(); },
      [&](const std::string& name) { local_fields.Delete(name); }, " : Eliminato  Campo -> ");
}

FieldUpdateOutcome UpdateFields(PassContext& pass, schema::TableDef& reference, schema::TableDef& local) {
  schema::Fields& reference_fields = reference.TableFields();
  schema::Fields& local_fields = local.TableFields();
  FieldUpdateOutcome outcome = FieldUpdateOutcome::kUpToDate;
  LocalFieldPositions local_positions(local_fields);
  ForEachPosition(reference_fields.Count(), [&](int16_t k) {
    schema::FieldRef reference_field = reference_fields.Item(k);
    const std::string name = reference_field->Name();
    const int16_t match = local_positions.First(name);
    if (match < 0) {
      CreateFieldLike(*reference_field, local, FieldTarget::kStoredTable);
      local_positions.Appended(name);
      pass.Line(pass.TableLine(" :     Nuovo  Campo -> " + name));
      FillNewField(pass, name, reference_field->Type());
      return true;
    }
    const std::string line = DifferenceLine(pass, name, *local_fields.Item(match), *reference_field);
    if (line.empty()) return true;
    pass.Line(line);
    outcome = FieldUpdateOutcome::kNeedsRebuild;
    return false;
  });
  return outcome;
}

schema::FieldRef CreateFieldLike(const schema::Field& source, schema::TableDef& target, FieldTarget kind) {
  const std::string name = source.Name();
  const int16_t type = source.Type();
  const int16_t size = schema::CheckedInt16(source.Size());
  schema::FieldRef field = target.CreateField(name, type, size);
  target.TableFields().Append(field);
  field->SetAllowZeroLength(kind == FieldTarget::kTableBeingBuilt ? true : source.AllowZeroLength());
  field->SetDefaultValue(source.DefaultValue());
  field->SetOrdinalPosition(source.OrdinalPosition());
  field->SetRequired(source.Required());
  field->SetValidationRule(source.ValidationRule());
  field->SetValidationText(source.ValidationText());
  return field;
}

}  // namespace update
