#include "jet/write/row_transform.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/common/text_codec.h"
#include "jet/core/long_value.h"
#include "jet/core/row_codec.h"
#include "jet/write/value_conversion.h"

namespace jet {
namespace {

bool Is(const ColumnDef& column, FieldType type) { return column.type == static_cast<uint8_t>(type); }

// The types whose stored bytes a decode and an encode give back unchanged. Single and
// Numeric are carried only after a look at the value (CarryNumber).
size_t FixedCopySize(FieldType type) {
  switch (type) {
    case FieldType::kByte: return 1;
    case FieldType::kInteger: return 2;
    case FieldType::kLong: return 4;
    case FieldType::kCurrency:
    case FieldType::kDouble:
    case FieldType::kDateTime: return 8;
    case FieldType::kGuid: return 16;
    default: return 0;
  }
}

// Text stored compressed in one run, as the encoder writes it for a column that compresses:
// such bytes are already what the encoder would make of them.
bool CompressedAsEncoded(std::span<const uint8_t> stored) {
  if (stored.size() < 2 + 3 || stored.size() > 2 + 1024 || stored[0] != 0xFF || stored[1] != 0xFE) return false;
  return std::find(stored.begin() + 2, stored.end(), uint8_t{0}) == stored.end();
}

// Plain UCS-2 whose units survive UTF-8: the bytes the encoder gives a memo's text uncompressed.
bool PlainWithoutLoneSurrogates(std::span<const uint8_t> stored) {
  if (stored.size() % 2 != 0 || (stored.size() >= 2 && stored[0] == 0xFF && stored[1] == 0xFE)) return false;
  for (size_t i = 0; i < stored.size(); i += 2) {
    const auto unit = static_cast<char16_t>(stored[i] | stored[i + 1] << 8);
    if (unit < 0xD800 || unit > 0xDFFF) continue;
    if (unit > 0xDBFF || i + 3 >= stored.size()) return false;
    const auto next = static_cast<char16_t>(stored[i + 2] | stored[i + 3] << 8);
    if (next < 0xDC00 || next > 0xDFFF) return false;
    i += 2;
  }
  return true;
}

}  // namespace

RowTransform::RowTransform(const TableDef& source, const TableDef& target, const std::vector<int>& source_of,
                           const std::vector<bool>& required, Format format, uint16_t code_page)
    : source_(source), target_(target), format_(format), code_page_(code_page) {
  // Jet 3 text goes through a code page, which the bytes would have to be checked against.
  if (format != Format::kJet4 || source_of.size() != target.columns.size() || required.size() != source_of.size())
    return;
  // A source column no target takes would still be decoded, and could refuse the row.
  std::vector<bool> taken(source.columns.size(), false);
  plans_.resize(target.columns.size());
  for (size_t t = 0; t < target.columns.size(); ++t) {
    if (source_of[t] < 0 || static_cast<size_t>(source_of[t]) >= source.columns.size()) return;
    Plan& plan = plans_[t];
    plan.source = static_cast<size_t>(source_of[t]);
    taken[plan.source] = true;
    const ColumnDef& from = source.columns[plan.source];
    const ColumnDef& to = target.columns[t];
    plan.required = required[t] && (to.flags & column_flag::kAutoNumber) == 0;
    if (from.type != to.type) continue;  // converted
    const auto type = static_cast<FieldType>(to.type);
    const size_t copy_size = FixedCopySize(type);
    if (type == FieldType::kBoolean) {
      plan.kind = Kind::kBoolean;
    } else if (copy_size != 0 && from.fixed() && to.fixed() && from.length == copy_size && to.length == copy_size) {
      plan.kind = Kind::kFixed;
    } else if (type == FieldType::kSingle && from.fixed() && to.fixed() && from.length == 4 && to.length == 4) {
      plan.kind = Kind::kSingle;
    } else if (type == FieldType::kNumeric && from.fixed() && to.fixed() && from.length == 17 && to.length == 17 &&
               from.scale == to.scale && to.precision <= 19) {
      plan.kind = Kind::kDecimal;
    } else if (type == FieldType::kText && !from.fixed() && !to.fixed()) {
      plan.kind = Kind::kText;
    } else if (type == FieldType::kBinary && !from.fixed() && !to.fixed()) {
      plan.kind = Kind::kBinary;
    } else if (type == FieldType::kMemo && !from.fixed() && !to.fixed()) {
      plan.kind = Kind::kMemo;
    } else if (type == FieldType::kOle && !from.fixed() && !to.fixed()) {
      plan.kind = Kind::kOle;
    }
  }
  if (std::find(taken.begin(), taken.end(), false) != taken.end()) return;
  values_.resize(target.columns.size());
  usable_ = true;
}

bool RowTransform::Build(std::span<const uint8_t> row, PageSource& pages, RowBuilder& builder) {
  if (!usable_) return false;
  try {
    const RowLayout layout = ReadRowLayout(source_, row, format_);
    for (size_t t = 0; t < plans_.size(); ++t) {
      const Plan& plan = plans_[t];
      const ColumnDef& from = source_.columns[plan.source];
      const ColumnDef& to = target_.columns[t];
      values_[t] = Value{};
      std::optional<std::span<const uint8_t>> bytes;
      bool present = false;
      if (from.number < layout.column_count) {
        present = layout.NullMaskBit(from.number);
        if (present && !Is(from, FieldType::kBoolean)) {
          bytes = layout.ValueBytes(from);
          present = bytes.has_value();
        }
      }
      if (Is(from, FieldType::kBoolean) && from.number < layout.column_count) {
        // A Yes/No value is its bit: never Null.
        if (plan.kind == Kind::kBoolean) {
          builder.SetBoolean(t, present);
          continue;
        }
        values_[t] = ConvertForColumn(Value{present}, to, format_);
      } else if (!present) {
        // Null stays Null through the conversion; a Yes/No field stores it as No.
      } else if (plan.kind == Kind::kSingle || plan.kind == Kind::kDecimal) {
        // Carried when the conversion would give the same bytes back, converted otherwise.
        if (CarryNumber(plan, t, *bytes, builder)) continue;
        const Value value = DecodeColumnValue(from, *bytes, DecodeContext{format_, code_page_, &pages});
        values_[t] = ConvertForColumn(value, to, format_);
      } else if (plan.kind != Kind::kConverted) {
        if (!Carry(plan, t, *bytes, pages, builder)) return false;
        continue;
      } else {
        const Value value = DecodeColumnValue(from, *bytes, DecodeContext{format_, code_page_, &pages});
        values_[t] = ConvertForColumn(value, to, format_);
      }
      if (IsNull(values_[t]) && plan.required) return false;  // the general way raises 3314
      builder.SetValue(t, values_[t]);
    }
  } catch (const Error&) {
    return false;  // the general way raises it, with the error it gives
  }
  return true;
}

bool RowTransform::CarryNumber(const Plan& plan, size_t position, std::span<const uint8_t> bytes,
                               RowBuilder& builder) {
  const ColumnDef& to = target_.columns[position];
  if (plan.kind == Kind::kSingle) {
    // Through a double and back a finite float keeps its bits; infinities overflow, NaNs are
    // made quiet.
    if (bytes.size() != 4) return false;
    float value;
    std::memcpy(&value, bytes.data(), 4);
    if (!std::isfinite(value)) return false;
    builder.SetStored(position, bytes);
    return true;
  }
  // A decimal of the field's scale keeps its digits when they fit the field's precision; the
  // sign of zero is dropped, and of the first byte only the sign bit counts.
  if (bytes.size() != 17 || bytes[1] != 0 || bytes[2] != 0 || bytes[3] != 0 || bytes[4] != 0) return false;
  const ByteReader reader(bytes);
  if (reader.U32(5) != 0) return false;  // 64 bits and more: past any precision carried here
  const uint64_t magnitude = uint64_t{reader.U32(9)} << 32 | reader.U32(13);
  const unsigned precision = to.precision == 0 ? 18 : to.precision;
  uint64_t limit = 1;
  for (unsigned i = 0; i < precision; ++i) limit *= 10;  // at most 10^19, below 2^64
  if (magnitude >= limit) return false;
  uint8_t stored[17];
  std::copy(bytes.begin(), bytes.end(), stored);
  stored[0] = (bytes[0] & 0x80) != 0 && magnitude != 0 ? 0x80 : 0x00;
  builder.SetStored(position, stored);
  return true;
}

bool RowTransform::Carry(const Plan& plan, size_t position, std::span<const uint8_t> bytes, PageSource& pages,
                         RowBuilder& builder) {
  const ColumnDef& to = target_.columns[position];
  switch (plan.kind) {
    case Kind::kFixed:
      builder.SetStored(position, bytes);
      return true;
    case Kind::kText:
      if (to.compressed_unicode() && CompressedAsEncoded(bytes) && 2 * (bytes.size() - 2) <= to.length) {
        builder.SetStored(position, bytes);
        return true;
      }
      // A text longer than its new field is cut by the general way.
      if (!StoredJet4TextUnits(bytes, units_) || 2 * units_.size() > to.length) return false;
      builder.SetUnits(position, units_);
      return true;
    case Kind::kBinary:
      // The conversion cuts binary data to the field's size.
      builder.SetStored(position, bytes.first(std::min<size_t>(bytes.size(), to.length)));
      return true;
    case Kind::kMemo: {
      units_.clear();
      if (bytes.empty()) {
        builder.SetUnits(position, units_);
        return true;
      }
      std::vector<uint8_t> text = ReadLongValue(bytes, format_, &pages);
      if (PlainWithoutLoneSurrogates(text)) {
        builder.SetPlainMemo(position, std::move(text));
        return true;
      }
      if (!StoredJet4TextUnits(text, units_)) return false;
      builder.SetUnits(position, units_);
      return true;
    }
    case Kind::kOle:
      if (bytes.empty()) {
        builder.SetLongBytes(position, {});
      } else {
        builder.SetLongBytes(position, ReadLongValue(bytes, format_, &pages));
      }
      return true;
    case Kind::kBoolean:
    case Kind::kSingle:
    case Kind::kDecimal:
    case Kind::kConverted:
      break;
  }
  return false;
}

}  // namespace jet
