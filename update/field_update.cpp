#include "update/field_update.h"

#include <string>

#include "schema/runtime_error.h"
#include "update/bracketed_name.h"
#include "schema/collection_walk.h"

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

void RemoveObsolete(PassContext& pass, const std::vector<std::string>& local_names, int16_t reference_count,
                    const auto& reference_name_at, const auto& remove, const std::string& line_text) {
  for (const std::string& name : local_names) {
    if (FindByName(reference_count, name, reference_name_at) >= 0) continue;
    remove(name);
    pass.Line(pass.TableLine(line_text + name));
  }
}

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
  ForEachPosition(reference_fields.Count(), [&](int16_t k) {
    schema::FieldRef reference_field = reference_fields.Item(k);
    const std::string name = reference_field->Name();
    const int16_t match = FindByName(local_fields.Count(), name, [&](int16_t m) { return local_fields.Item(m)->Name(); });
    if (match < 0) {
      CreateFieldLike(*reference_field, local, FieldTarget::kStoredTable);
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
