#include "jet/write/table_definition_writer.h"

#include <algorithm>
#include <string>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/common/text_codec.h"
#include "jet/core/table_definition.h"
#include "jet/core/table_definition_layout.h"

namespace jet {
namespace {

constexpr size_t kContinuationHeader = 8;

// A record of `size` bytes: the stored copy when there is one of that size, else zeros.
template <typename Stored>
std::vector<uint8_t> StartFrom(const Stored& stored, size_t size) {
  if (stored.size() == size) return std::vector<uint8_t>(stored.begin(), stored.end());
  return std::vector<uint8_t>(size, 0);
}

void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) { PutU16(bytes.data() + at, value); }
void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) { PutU32(bytes.data() + at, value); }

void AppendName(std::vector<uint8_t>& out, const std::string& name, Format format, uint16_t code_page) {
  if (format == Format::kJet3) {
    const std::vector<uint8_t> text = EncodeJet3Text(name, code_page);
    if (text.size() > 255) throw Error(err::kNameInvalid, "The name '" + name + "' is too long.");
    out.push_back(static_cast<uint8_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
    return;
  }
  const std::u16string units = Utf8ToUtf16(name);
  const size_t bytes = units.size() * 2;
  if (bytes > 0xFFFF) throw Error(err::kNameInvalid, "The name '" + name + "' is too long.");
  out.push_back(static_cast<uint8_t>(bytes));
  out.push_back(static_cast<uint8_t>(bytes >> 8));
  for (char16_t unit : units) {
    out.push_back(static_cast<uint8_t>(unit));
    out.push_back(static_cast<uint8_t>(unit >> 8));
  }
}

}  // namespace

std::vector<uint8_t> EncodeTableDefinition(const TableDef& table, uint16_t code_page) {
  const Format format = table.format;
  const bool jet3 = format == Format::kJet3;
  const TableDefinitionLayout& L = LayoutOf(format);

  std::vector<uint8_t> out = StartFrom(table.stored_header, L.header_end);
  out[0] = kTableDefinitionPageType;
  out[1] = 0x01;
  if (table.stored_header.empty()) {
    if (jet3) {
      out[2] = 'V';
      out[3] = 'C';
    } else {
      Put32(out, 12, kDefinitionConstant);
      out[24] = 0x01;  // Access sets it on every table; autonumbering needs it
    }
  }
  // Free space and the chain belong to the pages: WriteTableDefinition fills them in.
  if (!jet3) Put16(out, 2, 0);
  Put32(out, 4, 0);
  Put32(out, jet3 ? 12 : 16, table.row_count);
  Put32(out, jet3 ? 16 : 20, table.next_auto_number);
  out[L.header - 1] = table.table_type == 0 ? 0x4E : table.table_type;
  Put16(out, L.header, table.max_columns);
  Put16(out, L.header + 2, table.variable_column_count);
  Put16(out, L.header + 4, static_cast<uint16_t>(table.columns.size()));
  Put32(out, L.header + 6, static_cast<uint32_t>(table.indexes.size()));
  Put32(out, L.header + 10, static_cast<uint32_t>(table.real_indexes.size()));
  Put32(out, L.header + 14, table.owned_pages_pointer);
  Put32(out, L.header + 18, table.free_pages_pointer);

  for (const RealIndexDef& index : table.real_indexes) {
    std::vector<uint8_t> block = StartFrom(index.stored_count_block, L.count_block);
    Put32(block, 0, index.row_count);
    Put32(block, 4, index.unique_entry_count);
    out.insert(out.end(), block.begin(), block.end());
  }

  for (const ColumnDef& column : table.columns) {
    std::vector<uint8_t> d = StartFrom(column.stored, L.column_descriptor);
    const bool fresh = column.stored.size() != L.column_descriptor;
    d[0] = column.type;
    Put16(d, L.column_number, column.number);
    Put16(d, L.variable_index, column.variable_index);
    d[L.flags] = column.flags;
    Put16(d, L.fixed_offset, column.fixed_offset);
    Put16(d, L.length, column.length);
    if (jet3) {
      if (fresh) Put16(d, 5, column.number);
      Put16(d, L.sort_order, column.sort_order);
      Put16(d, L.code_page, column.code_page);
    } else {
      if (fresh) {
        Put32(d, 1, kDefinitionConstant);
        Put16(d, 9, column.number);
      }
      d[16] = column.extra_flags;
      if (column.type == static_cast<uint8_t>(FieldType::kNumeric)) {
        d[11] = column.precision;
        d[12] = column.scale;
      } else {
        Put16(d, L.sort_order, column.sort_order);
      }
    }
    out.insert(out.end(), d.begin(), d.end());
  }
  for (const ColumnDef& column : table.columns) AppendName(out, column.name, format, code_page);

  for (const RealIndexDef& index : table.real_indexes) {
    std::vector<uint8_t> d = StartFrom(index.stored, L.real_index);
    if (index.stored.size() != L.real_index && !jet3) Put32(d, 0, kRealIndexConstant);
    if (index.columns.size() > kMaxIndexColumns) throw Error(err::kSyntaxOther, "An index has more than 10 fields.");
    for (size_t k = 0; k < kMaxIndexColumns; ++k) {
      const size_t at = L.real_columns + 3 * k;
      if (k < index.columns.size()) {
        Put16(d, at, index.columns[k].column_number);
        d[at + 2] = index.columns[k].ascending ? kAscendingOrder : 0x00;
      } else if (ByteReader(d).U16(at) != kNoIndexColumn) {
        Put16(d, at, kNoIndexColumn);
        d[at + 2] = 0;
      }
    }
    Put32(d, L.real_usage_map, index.usage_map_pointer);
    Put32(d, L.real_first_page, index.first_page);
    d[L.real_flags] = index.flags;
    out.insert(out.end(), d.begin(), d.end());
  }

  for (const LogicalIndexDef& index : table.indexes) {
    std::vector<uint8_t> d = StartFrom(index.stored, L.logical_index);
    const bool fresh = index.stored.size() != L.logical_index;
    if (fresh && !jet3) Put32(d, 0, kDefinitionConstant);
    Put32(d, L.logical_number, index.index_number);
    Put32(d, L.logical_real, index.real_index);
    d[L.logical_related_type] = index.related_table_type;
    Put32(d, L.logical_related_index, index.related_index);
    Put32(d, L.logical_related_page, index.related_table);
    d[L.logical_cascade_update] = index.cascade_update;
    d[L.logical_cascade_delete] = index.cascade_delete;
    d[L.logical_kind] = index.kind;
    out.insert(out.end(), d.begin(), d.end());
  }
  for (const LogicalIndexDef& index : table.indexes) AppendName(out, index.name, format, code_page);

  for (const LongValueMapsDef& maps : table.long_value_maps) {
    std::vector<uint8_t> entry(10, 0);
    Put16(entry, 0, maps.column_number);
    Put32(entry, 2, maps.owned_pages_pointer);
    Put32(entry, 6, maps.free_pages_pointer);
    out.insert(out.end(), entry.begin(), entry.end());
  }
  out.push_back(0xFF);
  out.push_back(0xFF);
  Put32(out, 8, static_cast<uint32_t>(out.size()));
  return out;
}

void WriteTableDefinition(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, uint16_t code_page) {
  const std::vector<uint8_t> stream = EncodeTableDefinition(table, code_page);
  const size_t page_size = pages.page_size();
  const size_t per_continuation = page_size - kContinuationHeader;
  const size_t needed =
      stream.size() <= page_size ? 1 : 1 + (stream.size() - page_size + per_continuation - 1) / per_continuation;

  std::vector<uint32_t> chain = table.definition_pages;
  if (chain.empty()) chain.push_back(table.definition_page);
  if (chain.front() != table.definition_page) ThrowCorrupt("table definition chain does not start at its page");
  while (chain.size() < needed) chain.push_back(allocator.Allocate());
  for (size_t i = needed; i < chain.size(); ++i) allocator.Release(chain[i]);
  chain.resize(needed);

  size_t at = 0;
  for (size_t i = 0; i < chain.size(); ++i) {
    auto page = pages.MutablePage(chain[i]);
    std::fill(page.begin(), page.end(), 0);
    size_t stored_here;
    if (i == 0) {
      stored_here = std::min(page_size, stream.size());
      std::copy_n(stream.begin(), stored_here, page.begin());
    } else {
      stored_here = std::min(per_continuation, stream.size() - at);
      page[0] = kTableDefinitionPageType;
      page[1] = 0x01;
      std::copy_n(stream.begin() + static_cast<std::ptrdiff_t>(at), stored_here,
                  page.begin() + static_cast<std::ptrdiff_t>(kContinuationHeader));
    }
    at += stored_here;
    PutU32(page.data() + 4, i + 1 < chain.size() ? chain[i + 1] : 0);
    if (table.format == Format::kJet3) {
      page[2] = 'V';
      page[3] = 'C';
    } else {
      // Free space on the page, less the 8 bytes Access always holds back.
      const size_t used = i == 0 ? stored_here : kContinuationHeader + stored_here;
      const size_t free = page_size > used + 8 ? page_size - used - 8 : 0;
      PutU16(page.data() + 2, static_cast<uint16_t>(free));
    }
  }
  table.definition_pages = chain;
}

}  // namespace jet
