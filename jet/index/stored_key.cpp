#include "jet/index/stored_key.h"

#include <algorithm>
#include <string>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/common/text_codec.h"
#include "jet/core/value.h"

namespace jet {
namespace {

bool Is(const ColumnDef& column, FieldType type) { return column.type == static_cast<uint8_t>(type); }

// The bytes a fixed-size value of the column's type takes; 0 for the other types.
size_t FixedWidth(const ColumnDef& column) {
  switch (static_cast<FieldType>(column.type)) {
    case FieldType::kByte: return 1;
    case FieldType::kInteger: return 2;
    case FieldType::kLong:
    case FieldType::kSingle: return 4;
    case FieldType::kCurrency:
    case FieldType::kDouble:
    case FieldType::kDateTime: return 8;
    case FieldType::kGuid: return 16;
    default: return 0;
  }
}

// Decoding the text to UTF-8 turns a surrogate without its partner into U+FFFD, and the key
// is made from the text so turned.
void ReplaceLoneSurrogates(std::u16string& units) {
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit < 0xD800 || unit > 0xDFFF) continue;
    if (unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      ++i;
      continue;
    }
    units[i] = 0xFFFD;
  }
}

// Jet 4 text as stored, plain UCS-2 or compressed (FF FE, then runs of one-byte characters
// and of UCS-2 units, each zero byte switching between them), as DecodeJet4Text reads it.
StoredKeyValue Jet4Text(std::span<const uint8_t> stored, bool fixed, std::u16string& units) {
  StoredKeyValue value;
  const bool compressed = stored.size() >= 2 && stored[0] == 0xFF && stored[1] == 0xFE;
  if (compressed && std::find(stored.begin() + 2, stored.end(), uint8_t{0}) == stored.end()) {
    // Most text: one run of one-byte characters, keyed as it lies in the row.
    value.kind = StoredKeyValue::Kind::kLatin1Text;
    value.bytes = stored.subspan(2);
    return value;
  }
  StoredJet4TextUnits(stored, units);  // a lone surrogate is turned below
  ReplaceLoneSurrogates(units);
  // A fixed-length text field is padded with zeros to its size; they are no text.
  if (fixed)
    while (!units.empty() && units.back() == 0) units.pop_back();
  value.kind = StoredKeyValue::Kind::kUnitText;
  value.units = units;
  return value;
}

}  // namespace

bool StoredKeyApplies(const ColumnDef& column, Format format) {
  if (format != Format::kJet4) return false;
  return FixedWidth(column) > 0 || Is(column, FieldType::kBoolean) || Is(column, FieldType::kText) ||
         Is(column, FieldType::kBinary);
}

StoredKeyValue ReadStoredKeyValue(const RowLayout& layout, const ColumnDef& column, std::u16string& units) {
  StoredKeyValue value;
  if (column.number >= layout.column_count) return value;  // the row predates the column
  const bool bit = layout.NullMaskBit(column.number);
  if (Is(column, FieldType::kBoolean)) {
    value.kind = StoredKeyValue::Kind::kBoolean;
    value.boolean = bit;
    return value;
  }
  if (!bit) return value;
  const std::optional<std::span<const uint8_t>> bytes = layout.ValueBytes(column);
  if (!bytes) return value;  // the row predates the column's variable slot
  if (Is(column, FieldType::kText)) return Jet4Text(*bytes, column.fixed(), units);
  value.kind = StoredKeyValue::Kind::kBytes;
  if (Is(column, FieldType::kBinary)) {
    value.bytes = *bytes;
  } else {
    // Checked as decoding reads the value: a value shorter than its type is damage.
    value.bytes = ByteReader(*bytes, "field value").Slice(0, FixedWidth(column));
  }
  return value;
}

}  // namespace jet
