#include "jet/core/row_codec.h"

#include <algorithm>
#include <string>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/common/text_codec.h"
#include "jet/core/long_value.h"

namespace jet {
namespace {

// Jet 3 offsets are one byte each; the jump table says which of them have crossed each further
// 256-byte boundary of the row.
void Jet3VariableOffsets(const ByteReader& row, size_t mask_size, size_t& table_end, VariableOffsets& offsets) {
  const size_t length = row.size();
  if (length < 1 + mask_size + 1) ThrowCorrupt("row too short for its variable-column count");
  const uint8_t slots = row.U8(length - mask_size - 1);
  size_t jumps = (length - 1) / 256;
  if (length < mask_size + jumps + 2 + slots + 1) ThrowCorrupt("row too short for its variable-offset table");
  const size_t first_offset_at = length - mask_size - jumps - 2;
  const size_t eod_at = first_offset_at - slots;
  if (eod_at / 256 < jumps) --jumps;  // the farthest entry is filler
  table_end = eod_at;
  offsets.Resize(slots + 1u);
  size_t crossed = 0;
  for (size_t i = 0; i <= slots; ++i) {
    while (crossed < jumps && row.U8(length - mask_size - 2 - crossed) == i) ++crossed;
    offsets[i] = static_cast<uint16_t>(row.U8(first_offset_at - i) + 256 * crossed);
  }
}

void Jet4VariableOffsets(const ByteReader& row, size_t mask_size, size_t& table_end, VariableOffsets& offsets) {
  const size_t length = row.size();
  if (length < 2 + mask_size + 2) ThrowCorrupt("row too short for its variable-column count");
  const uint16_t slots = row.U16(length - mask_size - 2);
  if (length < 2 + mask_size + 4 + 2u * slots) ThrowCorrupt("row too short for its variable-offset table");
  table_end = length - mask_size - 4 - 2u * slots;
  offsets.Resize(slots + 1u);
  for (size_t i = 0; i <= slots; ++i) offsets[i] = row.U16(length - mask_size - 4 - 2 * i);
}

Decimal DecodeDecimal(const ByteReader& bytes, const ColumnDef& column) {
  Decimal value;
  value.negative = (bytes.U8(0) & 0x80) != 0;
  value.precision = column.precision;
  value.scale = column.scale;
  // Four little-endian words, most significant first; Jet's decimals have 96 bits of them.
  if (bytes.U32(1) != 0) ThrowCorrupt("decimal in column '" + column.name + "' exceeds 96 bits");
  value.hi = bytes.U32(5);
  value.mid = bytes.U32(9);
  value.lo = bytes.U32(13);
  return value;
}

Value DecodeValue(const ColumnDef& column, std::span<const uint8_t> bytes, const DecodeContext& context) {
  ByteReader reader(bytes, "field value");
  switch (static_cast<FieldType>(column.type)) {
    case FieldType::kByte: return reader.U8(0);
    case FieldType::kInteger: return reader.I16(0);
    case FieldType::kLong: return reader.I32(0);
    case FieldType::kCurrency: return Currency{reader.I64(0)};
    case FieldType::kSingle: return reader.F32(0);
    case FieldType::kDouble: return reader.F64(0);
    case FieldType::kDateTime: return DateTime{reader.F64(0)};
    case FieldType::kNumeric: return DecodeDecimal(reader, column);
    case FieldType::kGuid: {
      Guid guid;
      auto raw = reader.Slice(0, 16);
      std::copy(raw.begin(), raw.end(), guid.bytes);
      return guid;
    }
    case FieldType::kText: {
      std::string text = DecodeText(bytes, context.format, context.code_page);
      // A fixed-length text field is padded with zero bytes up to its size; they are no text.
      if (column.fixed()) text.erase(text.find_last_not_of('\0') + 1);
      return text;
    }
    case FieldType::kMemo:
      if (bytes.empty()) return std::string();
      return DecodeText(ReadLongValue(bytes, context.format, context.pages), context.format, context.code_page);
    case FieldType::kOle:
      if (bytes.empty()) return Binary{};
      return Binary{ReadLongValue(bytes, context.format, context.pages)};
    case FieldType::kBinary:
    case FieldType::kBoolean:  // never reaches here: its value is the null-mask bit
    default:
      // Unknown type codes occur in system tables; their bytes are kept as they are.
      return Binary{std::vector<uint8_t>(bytes.begin(), bytes.end())};
  }
}

}  // namespace

Value DecodeColumnValue(const ColumnDef& column, std::span<const uint8_t> bytes, const DecodeContext& context) {
  return DecodeValue(column, bytes, context);
}

void VariableOffsets::Resize(size_t count) {
  if (count > kInline) heap_.resize(count);
  size_ = count;
}

bool RowLayout::NullMaskBit(uint16_t column_number) const {
  const size_t at = column_number / 8u;
  return at < null_mask.size() && (null_mask[at] >> (column_number % 8u) & 1) != 0;
}

std::optional<std::span<const uint8_t>> RowLayout::ValueBytes(const ColumnDef& column) const {
  if (column.fixed()) {
    const size_t at = fixed_start + column.fixed_offset;
    if (at + column.length > fixed_limit) {
      ThrowCorrupt("fixed value of column '" + column.name + "' lies outside the row's fixed area");
    }
    return row.subspan(at, column.length);
  }
  if (column.variable_index >= variable_slot_count()) return std::nullopt;
  const uint16_t start = variable_offsets[column.variable_index];
  const uint16_t end = variable_offsets[column.variable_index + 1u];
  return row.subspan(start, end - start);
}

bool HasVariableColumns(const TableDef& table) {
  if (table.variable_column_count > 0) return true;
  for (const ColumnDef& column : table.columns) {
    if (!column.fixed() && column.type != static_cast<uint8_t>(FieldType::kBoolean)) return true;
  }
  return false;
}

RowLayout ReadRowLayout(const TableDef& table, std::span<const uint8_t> row, Format format) {
  ByteReader reader(row, "row");
  RowLayout layout;
  layout.row = row;
  layout.fixed_start = format == Format::kJet3 ? 1 : 2;
  layout.column_count = format == Format::kJet3 ? reader.U8(0) : reader.U16(0);
  const size_t mask_size = (layout.column_count + 7u) / 8u;
  if (row.size() < layout.fixed_start + mask_size) ThrowCorrupt("row too short for its null mask");
  layout.null_mask = row.subspan(row.size() - mask_size);
  size_t table_end = row.size() - mask_size;
  // Only a row that carries a variable column needs its offset table read. A row written
  // before the table's first variable column was added has none, so trying would read the
  // fixed values as offsets.
  bool carries_variable_column = false;
  for (const ColumnDef& column : table.columns) {
    carries_variable_column |= !column.fixed() && column.type != static_cast<uint8_t>(FieldType::kBoolean) &&
                               column.number < layout.column_count;
  }
  if (carries_variable_column) {
    if (format == Format::kJet3) {
      Jet3VariableOffsets(reader, mask_size, table_end, layout.variable_offsets);
    } else {
      Jet4VariableOffsets(reader, mask_size, table_end, layout.variable_offsets);
    }
    uint16_t previous = static_cast<uint16_t>(layout.fixed_start);
    for (uint16_t offset : layout.variable_offsets) {
      if (offset < previous || offset > table_end) {
        ThrowCorrupt("variable-length offsets of a row out of order or outside it");
      }
      previous = offset;
    }
    layout.fixed_limit = layout.variable_offsets.front();
  } else {
    layout.fixed_limit = table_end;
  }
  layout.trailer_start = table_end;
  return layout;
}

namespace {

Row DecodeSomeColumns(const TableDef& table, std::span<const uint8_t> stored_row, const DecodeContext& context,
                      const std::vector<bool>* wanted) {
  auto is_wanted = [&](size_t position) { return !wanted || (position < wanted->size() && (*wanted)[position]); };
  // Reading a long value fetches pages, and a page source may reuse the buffer the row was
  // read from; keep the row's own copy whenever that can happen.
  std::vector<uint8_t> own_copy;
  std::span<const uint8_t> row = stored_row;
  if (context.pages != nullptr) {
    for (size_t c = 0; c < table.columns.size(); ++c) {
      if (table.columns[c].long_value() && is_wanted(c)) {
        own_copy.assign(stored_row.begin(), stored_row.end());
        row = own_copy;
        break;
      }
    }
  }
  const RowLayout layout = ReadRowLayout(table, row, context.format);
  Row values;
  values.reserve(table.columns.size());
  for (size_t c = 0; c < table.columns.size(); ++c) {
    const ColumnDef& column = table.columns[c];
    if (!is_wanted(c) || column.number >= layout.column_count) {
      values.emplace_back();  // the row predates the column
      continue;
    }
    const bool bit = layout.NullMaskBit(column.number);
    if (column.type == static_cast<uint8_t>(FieldType::kBoolean)) {
      values.emplace_back(bit);
      continue;
    }
    if (!bit) {
      values.emplace_back();
      continue;
    }
    try {
      const std::optional<std::span<const uint8_t>> bytes = layout.ValueBytes(column);
      if (!bytes) {
        values.emplace_back();  // the row predates the column's variable slot
        continue;
      }
      values.push_back(DecodeValue(column, *bytes, context));
    } catch (const Error& error) {
      if (error.number() != err::kCorrupt) throw;
      throw Error(err::kCorrupt, std::string(error.what()) + " (column '" + column.name + "' of table '" +
                                     table.name + "')");
    }
  }
  return values;
}

}  // namespace

Row DecodeRow(const TableDef& table, std::span<const uint8_t> row, const DecodeContext& context) {
  return DecodeSomeColumns(table, row, context, nullptr);
}

Row DecodeRowColumns(const TableDef& table, std::span<const uint8_t> row, const DecodeContext& context,
                     const std::vector<bool>& wanted) {
  return DecodeSomeColumns(table, row, context, &wanted);
}

}  // namespace jet
