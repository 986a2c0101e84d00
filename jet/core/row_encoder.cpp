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
void AppendRaw(T value, std::vector<uint8_t>& out) {
  const size_t at = out.size();
  out.resize(at + sizeof value);
  std::memcpy(out.data() + at, &value, sizeof value);  // the engine targets little-endian hosts only
}

void AppendDecimal(const Decimal& value, const ColumnDef& column, std::vector<uint8_t>& out) {
  // A different scale would need rescaling, which can lose digits; the caller converts first.
  if (value.scale != column.scale) ThrowWrongKind(column);
  if (column.precision != 0) {
    const std::string digits = FormatDecimal(Decimal{false, 0, 0, value.lo, value.mid, value.hi});
    if (digits != "0" && digits.size() > column.precision) ThrowTooSmall(column);
  }
  const size_t at = out.size();
  out.resize(at + 17, 0);
  out[at] = value.negative ? 0x80 : 0x00;
  PutU32(out.data() + at + 5, value.hi);  // bytes 1-4: the top word, always 0 for 96 bits
  PutU32(out.data() + at + 9, value.mid);
  PutU32(out.data() + at + 13, value.lo);
}

// Declared sizes count UCS-2 bytes in Jet 4 whatever the stored form; one byte per character in Jet 3.
void AppendText(const std::string& text, const ColumnDef& column, const EncodeContext& context,
                std::vector<uint8_t>& out) {
  if (context.format == Format::kJet3) {
    const std::vector<uint8_t> stored = EncodeJet3Text(text, context.code_page);
    if (stored.size() > column.length) ThrowTooSmall(column);
    out.insert(out.end(), stored.begin(), stored.end());
    return;
  }
  const std::u16string units = Utf8ToUtf16(text);
  AppendJet4Text(units, column.compressed_unicode(), out);
  if (2 * units.size() > column.length) ThrowTooSmall(column);
}

// Appends the stored bytes of a non-null, non-boolean, non-long value.
void AppendValueBytes(const ColumnDef& column, const Value& value, const EncodeContext& context,
                      std::vector<uint8_t>& out) {
  switch (static_cast<FieldType>(column.type)) {
    case FieldType::kByte: out.push_back(As<uint8_t>(value, column)); return;
    case FieldType::kInteger: AppendRaw(As<int16_t>(value, column), out); return;
    case FieldType::kLong: AppendRaw(As<int32_t>(value, column), out); return;
    case FieldType::kCurrency: AppendRaw(As<Currency>(value, column).ten_thousandths, out); return;
    case FieldType::kSingle: AppendRaw(As<float>(value, column), out); return;
    case FieldType::kDouble: AppendRaw(As<double>(value, column), out); return;
    case FieldType::kDateTime: AppendRaw(As<DateTime>(value, column).days, out); return;
    case FieldType::kGuid: {
      const Guid& guid = As<Guid>(value, column);
      out.insert(out.end(), std::begin(guid.bytes), std::end(guid.bytes));
      return;
    }
    case FieldType::kNumeric: AppendDecimal(As<Decimal>(value, column), column, out); return;
    case FieldType::kText: AppendText(As<std::string>(value, column), column, context, out); return;
    default: {
      const Binary& binary = As<Binary>(value, column);
      if (binary.bytes.size() > column.length && !column.fixed()) ThrowTooSmall(column);
      out.insert(out.end(), binary.bytes.begin(), binary.bytes.end());
      return;
    }
  }
}

bool IsBoolean(const ColumnDef& column) { return column.type == static_cast<uint8_t>(FieldType::kBoolean); }

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

RowBuilder::RowBuilder(const TableDef& table, const EncodeContext& context) : table_(table), context_(context) {
  const bool jet3 = context.format == Format::kJet3;
  count_size_ = jet3 ? 1 : 2;
  has_variable_ = HasVariableColumns(table);
  column_count_ = table.max_columns;
  slot_count_ = has_variable_ ? table.variable_column_count : 0;
  for (const ColumnDef& column : table.columns) {
    column_count_ = std::max<size_t>(column_count_, column.number + 1u);
    if (IsBoolean(column)) continue;
    if (column.fixed()) {
      fixed_size_ = std::max<size_t>(fixed_size_, column.fixed_offset + size_t{column.length});
    } else {
      slot_count_ = std::max<size_t>(slot_count_, column.variable_index + 1u);
    }
  }
  if (column_count_ > (jet3 ? 0xFF : 0xFFFF) || slot_count_ > (jet3 ? 0xFF : 0xFFFF)) {
    throw Error(err::kTooManyFields, "Too many fields defined.");
  }
  mask_.assign((column_count_ + 7) / 8, 0);
  slot_start_.assign(slot_count_, 0);
  slot_size_.assign(slot_count_, 0);
  set_.assign(table.columns.size(), false);
  long_.resize(table.columns.size());
  Clear();
}

void RowBuilder::Clear() {
  std::fill(mask_.begin(), mask_.end(), uint8_t{0});
  row_.assign(count_size_ + fixed_size_, 0);
  row_[0] = static_cast<uint8_t>(column_count_);
  if (count_size_ == 2) row_[1] = static_cast<uint8_t>(column_count_ >> 8);
  data_.clear();
  std::fill(slot_size_.begin(), slot_size_.end(), size_t{0});
  std::fill(set_.begin(), set_.end(), false);
  long_columns_.clear();
}

void RowBuilder::MarkPresent(const ColumnDef& column) {
  mask_[column.number / 8] |= static_cast<uint8_t>(1u << (column.number % 8));
}

// A memo or OLE value of the row, laid out once the room left in the row is known: set,
// present, and its pending image emptied of what an earlier row left.
RowBuilder::LongPending& RowBuilder::PendLong(size_t position) {
  set_.at(position) = true;
  MarkPresent(table_.columns[position]);
  LongPending& pending = long_[position];
  pending.value = nullptr;
  pending.units = false;
  pending.plain_memo = false;
  long_columns_.push_back(position);
  return pending;
}

bool RowBuilder::IsSet(size_t position) const { return set_.at(position); }

std::span<const uint8_t> RowBuilder::FixedBytes(size_t position) const {
  const ColumnDef& column = table_.columns.at(position);
  if (!set_[position] || !column.fixed() || IsBoolean(column)) return {};
  return std::span<const uint8_t>(row_).subspan(count_size_ + column.fixed_offset, column.length);
}

void RowBuilder::SetBoolean(size_t position, bool value) {
  set_.at(position) = true;
  if (value) MarkPresent(table_.columns[position]);
}

void RowBuilder::SetStored(size_t position, std::span<const uint8_t> bytes) {
  const ColumnDef& column = table_.columns.at(position);
  set_[position] = true;
  MarkPresent(column);
  if (column.fixed()) {
    if (bytes.size() > column.length) ThrowTooSmall(column);
    std::copy(bytes.begin(), bytes.end(), row_.begin() + static_cast<std::ptrdiff_t>(count_size_ + column.fixed_offset));
    return;
  }
  slot_start_[column.variable_index] = data_.size();
  slot_size_[column.variable_index] = bytes.size();
  data_.insert(data_.end(), bytes.begin(), bytes.end());
}

void RowBuilder::SetUnits(size_t position, std::u16string_view units) {
  const ColumnDef& column = table_.columns.at(position);
  if (column.long_value() && !column.fixed()) {
    LongPending& pending = PendLong(position);
    pending.units = true;
    pending.text.assign(units.begin(), units.end());
    return;
  }
  scratch_.clear();
  AppendJet4Text(units, column.compressed_unicode(), scratch_);
  if (2 * units.size() > column.length) ThrowTooSmall(column);
  SetStored(position, scratch_);
}

void RowBuilder::SetLongBytes(size_t position, std::span<const uint8_t> bytes) {
  PendLong(position).bytes.assign(bytes.begin(), bytes.end());
}

void RowBuilder::SetPlainMemo(size_t position, std::vector<uint8_t> bytes) {
  LongPending& pending = PendLong(position);
  pending.plain_memo = true;
  pending.bytes = std::move(bytes);
}

void RowBuilder::SetValue(size_t position, const Value& value) {
  const ColumnDef& column = table_.columns.at(position);
  if (IsBoolean(column)) {
    SetBoolean(position, !IsNull(value) && As<bool>(value, column));
    return;
  }
  if (IsNull(value)) return;
  if (column.long_value() && !column.fixed()) {
    PendLong(position).value = &value;
    return;
  }
  scratch_.clear();
  AppendValueBytes(column, value, context_, scratch_);
  SetStored(position, scratch_);
}

// The image of a memo or OLE value given `room` bytes left in the row.
//
// Jet 4 memo text follows what the sample files show Access doing, whatever the column's
// compression flag says (it was 0 on every memo column, compressed values or not): a value
// whose plain UCS-2 form would stay inline is stored inline, compressed where compression
// applies; a longer one goes out of the row as plain UCS-2, even when compressing would have
// let it stay inline (49 of 49 memo values in the samples fit this rule).
LongValueImage RowBuilder::LongValueImageFor(const ColumnDef& column, LongPending& pending, size_t room) {
  const Format format = context_.format;
  if (pending.plain_memo) {
    // What the text's plain form is; only a value that may stay inline needs its units.
    if (pending.bytes.size() > LongValueInlineLimit(format) || pending.bytes.size() > room)
      return BuildLongValue(pending.bytes, format, 0);
    if (!StoredJet4TextUnits(pending.bytes, pending.text)) ThrowWrongKind(column);
    pending.units = true;
    pending.plain_memo = false;
  }
  if (pending.value == nullptr && !pending.units) return BuildLongValue(pending.bytes, format, room);
  if (pending.value != nullptr && column.type == static_cast<uint8_t>(FieldType::kOle)) {
    return BuildLongValue(As<Binary>(*pending.value, column).bytes, format, room);
  }
  if (pending.value != nullptr && format == Format::kJet3) {
    return BuildLongValue(EncodeJet3Text(As<std::string>(*pending.value, column), context_.code_page), format, room);
  }
  if (pending.value != nullptr) {
    pending.text = Utf8ToUtf16(As<std::string>(*pending.value, column));
    pending.units = true;
    pending.value = nullptr;
  }
  std::vector<uint8_t>& plain = pending.bytes;
  plain.clear();
  AppendJet4Text(pending.text, false, plain);
  if (plain.size() <= LongValueInlineLimit(format) && plain.size() <= room) {
    scratch_.clear();
    AppendJet4Text(pending.text, true, scratch_);
    return BuildLongValue(scratch_, format, room);
  }
  return BuildLongValue(plain, format, 0);
}

const std::vector<uint8_t>& RowBuilder::Finish(const LongValuePlacer& place_long_value) {
  const bool jet3 = context_.format == Format::kJet3;
  const size_t mask_size = mask_.size();
  const size_t offset_size = jet3 ? 1 : 2;
  const size_t trailer_size =
      has_variable_ ? (slot_count_ + 1) * offset_size + count_size_ + mask_size : mask_size;
  // Long values go last, in column order: each may stay inline only in the room the rest of
  // the row leaves, counting a bare header for itself and for every long value after it, and
  // (Jet 3) the largest jump table a row can need.
  std::sort(long_columns_.begin(), long_columns_.end());
  const size_t jump_reserve = jet3 ? MaxRowSize(context_.format) / 256 + 1 : 0;
  size_t slot_bytes = data_.size();
  std::vector<std::pair<uint16_t, LongValueImage>> to_place;  // slot, image
  for (size_t k = 0; k < long_columns_.size(); ++k) {
    const ColumnDef& column = table_.columns[long_columns_[k]];
    const size_t used = row_.size() + trailer_size + jump_reserve + slot_bytes +
                        kLongValueHeaderSize * (long_columns_.size() - k);
    const size_t room = used < MaxRowSize(context_.format) ? MaxRowSize(context_.format) - used : 0;
    LongValueImage image = LongValueImageFor(column, long_[long_columns_[k]], room);
    slot_start_[column.variable_index] = data_.size();
    slot_size_[column.variable_index] = image.header.size();
    data_.insert(data_.end(), image.header.begin(), image.header.end());
    slot_bytes += image.header.size();
    if (!image.rows.empty()) {
      if (!place_long_value) {
        throw Error(codec_err::kRecordTooLarge, "Record is too large: field '" + column.name +
                                                    "' needs long-value pages and none can be written here.");
      }
      to_place.emplace_back(column.variable_index, std::move(image));
    }
  }

  // Variable data in slot order, then the trailer, read from the row's end.
  offsets_.clear();
  if (has_variable_) {
    for (size_t slot = 0; slot < slot_count_; ++slot) {
      offsets_.push_back(static_cast<uint16_t>(std::min<size_t>(row_.size(), 0xFFFF)));
      const auto start = data_.begin() + static_cast<std::ptrdiff_t>(slot_start_[slot]);
      row_.insert(row_.end(), start, start + static_cast<std::ptrdiff_t>(slot_size_[slot]));
    }
    if (row_.size() > 0xFFFF) throw Error(codec_err::kRecordTooLarge, "Record is too large.");
    offsets_.push_back(static_cast<uint16_t>(row_.size()));  // end of the variable data
    for (size_t i = offsets_.size(); i-- > 0;) {
      row_.push_back(static_cast<uint8_t>(offsets_[i]));
      if (!jet3) row_.push_back(static_cast<uint8_t>(offsets_[i] >> 8));
    }
    if (jet3) {
      const size_t unjumped_length = row_.size() + 1 + mask_size;
      std::vector<uint8_t> jumps = Jet3JumpTable(offsets_, unjumped_length);
      row_.insert(row_.end(), jumps.rbegin(), jumps.rend());
      row_.push_back(static_cast<uint8_t>(slot_count_));
    } else {
      row_.push_back(static_cast<uint8_t>(slot_count_));
      row_.push_back(static_cast<uint8_t>(slot_count_ >> 8));
    }
  }
  row_.insert(row_.end(), mask_.begin(), mask_.end());
  if (row_.size() > MaxRowSize(context_.format)) throw Error(codec_err::kRecordTooLarge, "Record is too large.");

  // Only a row known to be storable gets its long values placed, so that a refused row leaves
  // no LVAL rows behind; the header keeps its size, so pointing it at them changes nothing else.
  for (auto& [slot, image] : to_place) {
    place_long_value(image);
    std::copy(image.header.begin(), image.header.begin() + kLongValueHeaderSize,
              row_.begin() + offsets_[slot]);
  }
  return row_;
}

std::vector<uint8_t> EncodeRow(const TableDef& table, const Row& values, const EncodeContext& context) {
  if (values.size() != table.columns.size()) {
    throw Error(codec_err::kDataTypeConversion, "Data type conversion error: " + std::to_string(values.size()) +
                                                    " values for a table of " +
                                                    std::to_string(table.columns.size()) + " fields.");
  }
  RowBuilder builder(table, context);
  for (size_t i = 0; i < values.size(); ++i) builder.SetValue(i, values[i]);
  return builder.Finish(context.place_long_value);
}

}  // namespace jet
