#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/common/format.h"
#include "jet/common/page_source.h"

namespace jet {

// The 12-byte header a memo or OLE value keeps in its row, followed (inline only) by the data.
inline constexpr size_t kLongValueHeaderSize = 12;

// Whether a header (at least its first 4 bytes) says that the data follows it in the row.
bool IsInlineLongValue(std::span<const uint8_t> header);

enum class LongValueLayout : uint8_t {
  kInline,     // the data follows the header inside the row
  kSingleRow,  // the data is one row of a long-value page
  kChain,      // the data is a list of long-value rows, each naming the next
};

// Reads the data of a long value from its header (and inline data) as found in the row.
// Every pointer is checked against the file: a bad page, a row that is not on a long-value
// page, a cycle or a length that does not add up raises a corrupt-database error. `stored`
// may point into a page of `pages`: it is read completely before any page is fetched.
std::vector<uint8_t> ReadLongValue(std::span<const uint8_t> stored, Format format, PageSource* pages);

// The data of a long value kept in one LVAL row, as a view of that row's page that lasts
// until the next call on `pages`; nothing when the header says the value is kept another way
// (inline, a chain). The header and the row are checked as ReadLongValue checks them.
std::optional<std::span<const uint8_t>> SingleRowLongValue(std::span<const uint8_t> stored, Format format,
                                                           PageSource& pages);

// The byte images of one long value, for a writer that places them.
//
// For kInline, `header` already holds the data and `rows` is empty. For kSingleRow, `rows`
// holds the one LVAL row; for kChain, one row per chunk, each starting with a 4-byte link.
// The writer chooses a page/row for every row, calls LinkChain with those places, stores the
// rows there, and calls SetFirstRow so that the header points at the first one.
struct LongValueImage {
  LongValueLayout layout = LongValueLayout::kInline;
  std::vector<uint8_t> header;             // 12 bytes, plus the data when inline
  std::vector<std::vector<uint8_t>> rows;  // LVAL rows, in chain order

  void SetFirstRow(uint32_t page, uint8_t row);
  // For a chain: fills the link of rows[i] with the page/row chosen for rows[i + 1]; the last
  // link stays 0. `row_pointers` holds one place per row, in chain order.
  void LinkChain(std::span<const uint32_t> row_pointers);
};

// The largest value Access keeps inline in the row. The samples bound it: Jet 4 inlined
// 52-byte values and no memo over 32 characters (64 bytes of UCS-2); Jet 3 inlined memos of up
// to 31 bytes and stored every value of 33 bytes or more (42-byte OLE values included) in
// LVAL rows.
inline constexpr size_t LongValueInlineLimit(Format format) { return format == Format::kJet3 ? 32 : 64; }

// How many data bytes a chain chunk carries on a page of its own (a full page: header, one
// offset entry and the 4-byte link).
size_t LongValueChunkCapacity(Format format);

// Chooses the layout as Access would: inline if the data is at most LongValueInlineLimit
// bytes and `inline_room` (what the row can still take beyond the header) allows it; one
// LVAL row if the data fits a long-value page; otherwise a chain of full-page chunks.
LongValueImage BuildLongValue(std::span<const uint8_t> data, Format format, size_t inline_room);

// A page/row pointer as rows and headers store it.
inline constexpr uint32_t RowPointer(uint32_t page, uint8_t row) { return (page << 8) | row; }

}  // namespace jet
