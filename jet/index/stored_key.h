#pragma once

// Index keys taken from a row's stored bytes, for builds that key every row of a table: the
// value is keyed where the row holds it, without decoding the row into Values and without
// taking its text through UTF-8. The keys are byte for byte those of AppendColumnKey on the
// decoded row; columns this cannot key that way (long values, decimals, Jet 3 text, unknown
// types) are left to the decoded path (StoredKeyApplies says which).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/common/format.h"
#include "jet/core/row_codec.h"
#include "jet/core/table_def.h"

namespace jet {

// One column's value in a stored row, ready to key. Text is in UTF-16 units, either in
// `units` or, for text Access stored compressed to one byte a character, in `bytes`.
struct StoredKeyValue {
  enum class Kind : uint8_t { kNull, kBoolean, kBytes, kLatin1Text, kUnitText };
  Kind kind = Kind::kNull;
  bool boolean = false;
  std::span<const uint8_t> bytes;  // kBytes, kLatin1Text
  std::u16string_view units;       // kUnitText
};

// Whether the stored path can key `column` of a table in `format`.
bool StoredKeyApplies(const ColumnDef& column, Format format);

// The value of `column` in the row `layout` describes, as DecodeRowColumns would give it but
// unconverted. Text that needs converting goes into `units`, which the result then views, so
// it must outlive the use of the value. Raises a corrupt-database error for text whose stored
// form is damaged, as decoding the row would.
StoredKeyValue ReadStoredKeyValue(const RowLayout& layout, const ColumnDef& column, std::u16string& units);

// What AppendColumnKey appends for the decoded value. Raises key_err::kUnsupportedKey where
// it does.
void AppendStoredColumnKey(std::vector<uint8_t>& key, const ColumnDef& column, const StoredKeyValue& value,
                           bool ascending);

}  // namespace jet
