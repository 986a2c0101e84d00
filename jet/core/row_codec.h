#pragma once

#include <cstdint>
#include <span>

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
// corrupt-database error for a row whose layout does not fit its bytes.
Row DecodeRow(const TableDef& table, std::span<const uint8_t> row, const DecodeContext& context);

}  // namespace jet
