#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "jet/common/format.h"
#include "jet/common/text_codec.h"  // codec_err::kDataTypeConversion
#include "jet/core/long_value.h"
#include "jet/core/table_def.h"
#include "jet/core/value.h"

namespace jet {

namespace codec_err {
inline constexpr int32_t kFieldTooSmall = 3163;   // "The field is too small to accept the amount of data..."
inline constexpr int32_t kRecordTooLarge = 3047;  // "Record is too large."
}  // namespace codec_err

// Places the LVAL rows of a long value that does not stay inline (image.rows not empty): the
// callee stores them on long-value pages, then calls image.SetFirstRow and, for a chain,
// image.LinkChain, so that image.header points at them. EncodeRow calls it only once the row
// is known to fit, so a refused row places nothing.
using LongValuePlacer = std::function<void(LongValueImage& image)>;

struct EncodeContext {
  Format format = Format::kJet4;
  uint16_t code_page = 1252;
  LongValuePlacer place_long_value;  // may be empty when every long value fits inline
};

// The largest row (long values outside it) Access accepts.
inline constexpr size_t MaxRowSize(Format format) { return format == Format::kJet3 ? 2012 : 4060; }

// The bytes Access stores for `values` (one per column of `table`, in the order of
// `table.columns`) as a row of `table`: the inverse of DecodeRow. The row carries every
// column number up to the table's maximum and every variable slot, deleted ones as Null.
// Raises codec_err::kDataTypeConversion for a value of the wrong kind for its column,
// codec_err::kFieldTooSmall for text or binary longer than the column, and
// codec_err::kRecordTooLarge for a row that cannot be stored.
std::vector<uint8_t> EncodeRow(const TableDef& table, const Row& values, const EncodeContext& context);

// EncodeRow column by column, for callers that hold some values as stored bytes already (a
// copy of rows between tables): the row comes out as EncodeRow lays it out for the values
// those bytes stand for. Kept from row to row, it reuses its buffers. Columns not set are
// Null (a boolean: No). Positions index table.columns; each is set at most once per row.
class RowBuilder {
 public:
  // Raises err::kTooManyFields for a table whose rows cannot be laid out.
  RowBuilder(const TableDef& table, const EncodeContext& context);

  void Clear();
  // As EncodeRow takes values[position]. `value` must stay alive until Finish.
  void SetValue(size_t position, const Value& value);
  void SetBoolean(size_t position, bool value);
  // The stored bytes of a value of a column other than memo, OLE and boolean, already
  // checked against the column as EncodeRow checks it.
  void SetStored(size_t position, std::span<const uint8_t> bytes);
  // Jet 4 text given as its UTF-16 units: a text column's value, or a memo's.
  void SetUnits(size_t position, std::u16string_view units);
  // A Jet 4 memo's text as plain UCS-2 bytes (no compression marker) whose units hold no lone
  // surrogate: the bytes its text is stored as when it goes out of the row, so that they need
  // not be decoded unless the value stays inline.
  void SetPlainMemo(size_t position, std::vector<uint8_t> bytes);
  // An OLE value's bytes.
  void SetLongBytes(size_t position, std::span<const uint8_t> bytes);
  bool IsSet(size_t position) const;
  // The fixed bytes of a value set; empty for other columns.
  std::span<const uint8_t> FixedBytes(size_t position) const;

  // The row, valid until the next Clear. Raises what EncodeRow raises for the row; long values
  // are placed only once the row is known to fit.
  const std::vector<uint8_t>& Finish(const LongValuePlacer& place_long_value);

 private:
  struct LongPending {
    const Value* value = nullptr;  // set through SetValue, or else:
    bool units = false;            // the text is in text_, else the bytes in bytes_
    bool plain_memo = false;       // the bytes are a memo's plain UCS-2 text
    std::u16string text;
    std::vector<uint8_t> bytes;
  };
  void MarkPresent(const ColumnDef& column);
  LongPending& PendLong(size_t position);
  LongValueImage LongValueImageFor(const ColumnDef& column, LongPending& pending, size_t room);

  const TableDef& table_;
  EncodeContext context_;
  size_t count_size_ = 2;
  bool has_variable_ = false;
  size_t column_count_ = 0;
  size_t fixed_size_ = 0;
  size_t slot_count_ = 0;
  std::vector<uint8_t> mask_;
  std::vector<uint8_t> row_;
  std::vector<uint8_t> data_;         // variable values, in the order they were set
  std::vector<size_t> slot_start_;    // per slot: where its value begins in data_
  std::vector<size_t> slot_size_;     // and its length; 0 for none
  std::vector<bool> set_;             // per position
  std::vector<size_t> long_columns_;  // positions of long values set, in column order at Finish
  std::vector<LongPending> long_;     // per position
  std::vector<uint16_t> offsets_;
  std::vector<uint8_t> scratch_;
};

}  // namespace jet
