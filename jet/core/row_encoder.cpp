#include "jet/core/row_encoder.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/common/text_codec.h"
#include "jet/core/row_codec.h"
#include "jet/core/value_format.h"

namespace jet {
namespace {

[[noreturn]] void ThrowWrongKind(const ColumnDef& column) {
  throw Error(codec_err::kDataTypeConversion,
              "Data type conversion error: the value given for field '" + column.name + "' does not suit its type.");
}

[[noreturn]] void ThrowTooSmall(const ColumnDef& column) {
  throw Error(codec_err::kFieldTooSmall, "The field '" + column.name +
                                             "' is too small to accept the amount of data you attempted to add.");
}

template <typename T>
const T& As(const Value& value, const ColumnDef& column) {
  const T* held = std::get_if<T>(&value);
  if (held == nullptr) ThrowWrongKind(column);
  return *held;
}

template <typename T>
std::vector<uint8_t> RawBytes(T value) {
  std::vector<uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);  // the engine targets little-endian hosts only
  return bytes;
}

std::vector<uint8_t> DecimalBytes(const Decimal& value, const ColumnDef& column) {
  // A different scale would need rescaling, which can lose digits; the caller converts first.
  if (value.scale != column.scale) ThrowWrongKind(column);
  if (column.precision != 0) {
    const std::string digits = FormatDecimal(Decimal{false, 0, 0, value.lo, value.mid, value.hi});
    if (digits != "0" && digits.size() > column.precision) ThrowTooSmall(column);
  }
  std::vector<uint8_t> bytes(17, 0);
  bytes[0] = value.negative ? 0x80 : 0x00;
  PutU32(bytes.data() + 5, value.hi);  // bytes 1-4: the top word, always 0 for 96 bits
  PutU32(bytes.data() + 9, value.mid);
  PutU32(bytes.data() + 13, value.lo);
  return bytes;
}

std::vector<uint8_t> TextBytes(const std::string& text, const ColumnDef& column, const EncodeContext& context) {
  if (context.format == Format::kJet3) return EncodeJet3Text(text, context.code_page);
  return EncodeJet4Text(text, column.compressed_unicode());
}

// Declared sizes count UCS-2 bytes in Jet 4 whatever the stored form; one byte per character in Jet 3.
void CheckTextFits(const std::string& text, const std::vector<uint8_t>& stored, const ColumnDef& column,
                   Format format) {
  // The text was validated when it was encoded, so its units can be counted without decoding.
  const size_t units = format == Format::kJet3 ? stored.size() : 2 * Utf16Length(text);
  if (units > column.length) ThrowTooSmall(column);
}

// The stored bytes of a non-null, non-boolean, non-long value.
std::vector<uint8_t> ValueBytes(const ColumnDef& column, const Value& value, const EncodeContext& context) {
  switch (static_cast<FieldType>(column.type)) {
    case FieldType::kByte: return {As<uint8_t>(value, column)};
    case FieldType::kInteger: return RawBytes(As<int16_t>(value, column));
    case FieldType::kLong: return RawBytes(As<int32_t>(value, column));
    case FieldType::kCurrency: return RawBytes(As<Currency>(value, column).ten_thousandths);
    case FieldType::kSingle: return RawBytes(As<float>(value, column));
    case FieldType::kDouble: return RawBytes(As<double>(value, column));
    case FieldType::kDateTime: return RawBytes(As<DateTime>(value, column).days);
    case FieldType::kGuid: {
      const Guid& guid = As<Guid>(value, column);
      return {std::begin(guid.bytes), std::end(guid.bytes)};
    }
    case FieldType::kNumeric: return DecimalBytes(As<Decimal>(value, column), column);
    case FieldType::kText: {
      const std::string& text = As<std::string>(value, column);
      std::vector<uint8_t> stored = TextBytes(text, column, context);
      CheckTextFits(text, stored, column, context.format);
      return stored;
    }
    default: {
      const Binary& binary = As<Binary>(value, column);
      if (binary.bytes.size() > column.length && !column.fixed()) ThrowTooSmall(column);
      return binary.bytes;
    }
  }
}

bool IsBoolean(const ColumnDef& column) { return column.type == static_cast<uint8_t>(FieldType::kBoolean); }

// The image of a memo or OLE value given `room` bytes left in the row.
//
// Jet 4 memo text follows what the sample files show Access doing, whatever the column's
// compression flag says (it was 0 on every memo column, compressed values or not): a value
// whose plain UCS-2 form would stay inline is stored inline, compressed where compression
// applies; a longer one goes out of the row as plain UCS-2, even when compressing would have
// let it stay inline (49 of 49 memo values in the samples fit this rule).
LongValueImage LongValueFor(const ColumnDef& column, const Value& value, const EncodeContext& context, size_t room) {
  if (column.type == static_cast<uint8_t>(FieldType::kOle)) {
    return BuildLongValue(As<Binary>(value, column).bytes, context.format, room);
  }
  const std::string& text = As<std::string>(value, column);
  if (context.format == Format::kJet3) return BuildLongValue(EncodeJet3Text(text, context.code_page), context.format, room);
  const std::vector<uint8_t> plain = EncodeJet4Text(text, false);
  if (plain.size() <= LongValueInlineLimit(context.format) && plain.size() <= room) {
    return BuildLongValue(EncodeJet4Text(text, true), context.format, room);
  }
  return BuildLongValue(plain, context.format, 0);
}

// Jet 3 offsets keep their low byte in the table; the jump table records, for each further
// 256-byte boundary, the first entry at or past it. Returns the jump entries, nearest to the
// slot count first, or raises when the trailer cannot be laid out (see below).
std::vector<uint8_t> Jet3JumpTable(const std::vector<uint16_t>& offsets, size_t unjumped_length) {
  const size_t eod = offsets.back();
  const size_t needed = eod / 256;
  // The reader takes (length - 1) / 256 entries and drops the farthest one when the eod byte
  // lies below the segment that count implies. So either `needed` entries already give that
  // count, or one more entry, written as filler, does.
  size_t written = needed;
  bool filler = false;
  if ((unjumped_length + needed - 1) / 256 != needed) {
    written = needed + 1;
    filler = true;
    if ((unjumped_length + written - 1) / 256 != written) {
      throw Error(codec_err::kRecordTooLarge, "Record is too large.");
    }
  }
  std::vector<uint8_t> jumps;
  for (size_t k = 0; k < needed; ++k) {
    size_t first = 0;
    while (offsets[first] / 256 < k + 1) ++first;  // ends at eod at the latest
    jumps.push_back(static_cast<uint8_t>(first));
  }
  if (filler) jumps.push_back(0xFF);
  return jumps;
}

}  // namespace

std::vector<uint8_t> EncodeRow(const TableDef& table, const Row& values, const EncodeContext& context) {
  if (values.size() != table.columns.size()) {
    throw Error(codec_err::kDataTypeConversion, "Data type conversion error: " + std::to_string(values.size()) +
                                                    " values for a table of " +
                                                    std::to_string(table.columns.size()) + " fields.");
  }
  const bool jet3 = context.format == Format::kJet3;
  const size_t count_size = jet3 ? 1 : 2;
  const bool has_variable = HasVariableColumns(table);

  size_t column_count = table.max_columns;
  size_t fixed_size = 0;
  size_t slot_count = has_variable ? table.variable_column_count : 0;
  for (const ColumnDef& column : table.columns) {
    column_count = std::max<size_t>(column_count, column.number + 1u);
    if (IsBoolean(column)) continue;
    if (column.fixed()) {
      fixed_size = std::max<size_t>(fixed_size, column.fixed_offset + size_t{column.length});
    } else {
      slot_count = std::max<size_t>(slot_count, column.variable_index + 1u);
    }
  }
  if (column_count > (jet3 ? 0xFF : 0xFFFF) || slot_count > (jet3 ? 0xFF : 0xFFFF)) {
    throw Error(err::kTooManyFields, "Too many fields defined.");
  }
  const size_t mask_size = (column_count + 7) / 8;
  std::vector<uint8_t> mask(mask_size, 0);
  std::vector<uint8_t> row(count_size + fixed_size, 0);
  row[0] = static_cast<uint8_t>(column_count);
  if (!jet3) row[1] = static_cast<uint8_t>(column_count >> 8);

  std::vector<std::vector<uint8_t>> slots(slot_count);
  std::vector<size_t> long_value_columns;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDef& column = table.columns[i];
    const Value& value = values[i];
    const uint8_t bit = static_cast<uint8_t>(1u << (column.number % 8));
    if (IsBoolean(column)) {
      if (!IsNull(value) && As<bool>(value, column)) mask[column.number / 8] |= bit;
      continue;
    }
    if (IsNull(value)) continue;
    mask[column.number / 8] |= bit;
    if (column.long_value() && !column.fixed()) {
      long_value_columns.push_back(i);
      continue;
    }
    std::vector<uint8_t> bytes = ValueBytes(column, value, context);
    if (column.fixed()) {
      if (bytes.size() > column.length) ThrowTooSmall(column);
      std::copy(bytes.begin(), bytes.end(), row.begin() + static_cast<std::ptrdiff_t>(count_size + column.fixed_offset));
    } else {
      slots[column.variable_index] = std::move(bytes);
    }
  }

  const size_t offset_size = jet3 ? 1 : 2;
  auto trailer_size = [&] { return has_variable ? (slot_count + 1) * offset_size + count_size + mask_size : mask_size; };
  // Long values go last: each may stay inline only in the room the rest of the row leaves,
  // counting a bare header for itself and for every long value after it, and (Jet 3) the
  // largest jump table a row can need.
  const size_t jump_reserve = jet3 ? MaxRowSize(context.format) / 256 + 1 : 0;
  std::vector<std::pair<uint16_t, LongValueImage>> to_place;  // slot, image
  for (size_t k = 0; k < long_value_columns.size(); ++k) {
    const ColumnDef& column = table.columns[long_value_columns[k]];
    size_t used = row.size() + trailer_size() + jump_reserve + kLongValueHeaderSize * (long_value_columns.size() - k);
    for (const auto& slot : slots) used += slot.size();
    const size_t room = used < MaxRowSize(context.format) ? MaxRowSize(context.format) - used : 0;
    LongValueImage image = LongValueFor(column, values[long_value_columns[k]], context, room);
    slots[column.variable_index] = image.header;
    if (!image.rows.empty()) {
      if (!context.place_long_value) {
        throw Error(codec_err::kRecordTooLarge, "Record is too large: field '" + column.name +
                                                    "' needs long-value pages and none can be written here.");
      }
      to_place.emplace_back(column.variable_index, std::move(image));
    }
  }

  // Variable data in slot order, then the trailer, read from the row's end.
  std::vector<uint16_t> offsets;
  if (has_variable) {
    for (const auto& slot : slots) {
      offsets.push_back(static_cast<uint16_t>(std::min<size_t>(row.size(), 0xFFFF)));
      row.insert(row.end(), slot.begin(), slot.end());
    }
    if (row.size() > 0xFFFF) throw Error(codec_err::kRecordTooLarge, "Record is too large.");
    offsets.push_back(static_cast<uint16_t>(row.size()));  // end of the variable data
    for (size_t i = offsets.size(); i-- > 0;) {
      row.push_back(static_cast<uint8_t>(offsets[i]));
      if (!jet3) row.push_back(static_cast<uint8_t>(offsets[i] >> 8));
    }
    if (jet3) {
      const size_t unjumped_length = row.size() + 1 + mask_size;
      std::vector<uint8_t> jumps = Jet3JumpTable(offsets, unjumped_length);
      row.insert(row.end(), jumps.rbegin(), jumps.rend());
      row.push_back(static_cast<uint8_t>(slot_count));
    } else {
      row.push_back(static_cast<uint8_t>(slot_count));
      row.push_back(static_cast<uint8_t>(slot_count >> 8));
    }
  }
  row.insert(row.end(), mask.begin(), mask.end());
  if (row.size() > MaxRowSize(context.format)) throw Error(codec_err::kRecordTooLarge, "Record is too large.");

  // Only a row known to be storable gets its long values placed, so that a refused row leaves
  // no LVAL rows behind; the header keeps its size, so pointing it at them changes nothing else.
  for (auto& [slot, image] : to_place) {
    context.place_long_value(image);
    std::copy(image.header.begin(), image.header.begin() + kLongValueHeaderSize,
              row.begin() + offsets[slot]);
  }
  return row;
}

}  // namespace jet
