#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/common/format.h"
#include "jet/common/page_source.h"
#include "jet/core/table_def.h"
#include "jet/core/value.h"

namespace jet {

// What decoding a row needs beyond the row's bytes: the format, the database's code page for
// Jet 3 text, and the pages where long values (memo, OLE) live.
struct DecodeContext {
  Format format = Format::kJet4;
  uint16_t code_page = 1252;
  PageSource* pages = nullptr;
};

// Decodes one stored row into one value per column of `table`, in the order of
// `table.columns`. A column the row does not carry (the row was written before the column
// was added) reads as Null; deleted columns are skipped by column number. Raises a
// corrupt-database error for a row whose layout does not fit its bytes. `row` may point into
// a page of `context.pages`: it is copied before any long value is fetched.
Row DecodeRow(const TableDef& table, std::span<const uint8_t> row, const DecodeContext& context);

// The same, for the columns whose position in `table.columns` is marked in `wanted` (one flag
// per column); the others read as Null and cost nothing, long values above all. For work
// that needs a few columns of every row, such as index keys.
Row DecodeRowColumns(const TableDef& table, std::span<const uint8_t> row, const DecodeContext& context,
                     const std::vector<bool>& wanted);

// One column's value from its stored bytes (as RowLayout::ValueBytes gives them; the null mask
// said it is there), as DecodeRow reads it. A memo or OLE value is fetched from
// `context.pages`, which must not reuse the buffer `bytes` lies in.
Value DecodeColumnValue(const ColumnDef& column, std::span<const uint8_t> bytes, const DecodeContext& context);

// A row's variable-column offsets, one per slot and then the end of the variable data. Held
// inline for the usual row, so that locating a row's parts allocates nothing: a table copy
// and its keying do it for every row.
class VariableOffsets {
 public:
  void Resize(size_t count);
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  uint16_t& operator[](size_t i) { return data()[i]; }
  uint16_t operator[](size_t i) const { return data()[i]; }
  uint16_t front() const { return data()[0]; }
  uint16_t back() const { return data()[size_ - 1]; }
  const uint16_t* begin() const { return data(); }
  const uint16_t* end() const { return data() + size_; }

 private:
  static constexpr size_t kInline = 32;
  uint16_t* data() { return size_ <= kInline ? inline_ : heap_.data(); }
  const uint16_t* data() const { return size_ <= kInline ? inline_ : heap_.data(); }

  uint16_t inline_[kInline] = {};
  std::vector<uint16_t> heap_;  // only for rows of more slots
  size_t size_ = 0;
};

// Where the parts of one stored row are, located from both ends as Access lays rows out:
// column count first, null mask last, the variable-offset table (Jet 3: with its jump table)
// before the mask. Building it checks every offset against the row, so ValueBytes needs no
// further checks.
struct RowLayout {
  std::span<const uint8_t> row;
  uint16_t column_count = 0;               // columns this row was written with
  std::span<const uint8_t> null_mask;
  size_t fixed_start = 0;                  // first byte of the fixed area
  size_t fixed_limit = 0;                  // no fixed value may reach past this
  VariableOffsets variable_offsets;
  size_t trailer_start = 0;                // where the end-of-data offset is (or the null mask)

  uint16_t variable_slot_count() const {
    return variable_offsets.empty() ? 0 : static_cast<uint16_t>(variable_offsets.size() - 1);
  }
  bool NullMaskBit(uint16_t column_number) const;
  // The stored bytes of a column, or nothing when the row has no slot for it. Raises a
  // corrupt-database error for a fixed value outside the fixed area.
  std::optional<std::span<const uint8_t>> ValueBytes(const ColumnDef& column) const;
};

// Whether rows of `table` carry a variable-offset table.
bool HasVariableColumns(const TableDef& table);

RowLayout ReadRowLayout(const TableDef& table, std::span<const uint8_t> row, Format format);

}  // namespace jet
