#pragma once

#include <cstdint>
#include <functional>
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

}  // namespace jet
