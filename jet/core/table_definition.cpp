#include "jet/core/table_definition.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "jet/common/byte_reader.h"
#include "jet/common/text_codec.h"
#include "jet/core/table_definition_layout.h"

namespace jet {
namespace {


// The definition as one byte stream: the first page whole, each continuation page after its
// 8-byte header.
std::vector<uint8_t> DefinitionStream(PageSource& pages, uint32_t first, std::vector<uint32_t>& chain) {
  std::vector<uint8_t> stream;
  // Nearly every chain is a page or two long, and is searched as it stands; a long one (a
  // damaged file may make it as long as the file) is searched through a set.
  constexpr size_t kShortChain = 8;
  std::unordered_set<uint32_t> seen;
  auto visited = [&](uint32_t page) {
    if (chain.size() < kShortChain) return std::find(chain.begin(), chain.end(), page) != chain.end();
    if (seen.empty()) seen.insert(chain.begin(), chain.end());
    return !seen.insert(page).second;
  };
  for (uint32_t page = first; page != 0;) {
    if (visited(page)) ThrowCorrupt("the definition at page " + std::to_string(first) + " loops");
    const auto bytes = pages.Page(page);
    const ByteReader reader(bytes, "table definition page");
    if (reader.U8(0) != kTableDefinitionPageType)
      ThrowCorrupt("page " + std::to_string(page) + " is not a table definition page");
    chain.push_back(page);
    stream.insert(stream.end(), bytes.begin() + (stream.empty() ? 0 : 8), bytes.end());
    page = reader.U32(4);
  }
  return stream;
}

// A Jet 4 name of UTF-16 units below 0x80 as its UTF-8 (the same bytes), four units at a time;
// false for any other name, which the text codec decodes. Every column and index of every
// table is named so, and unit by unit the names were a third of reading a definition.
bool AsciiUnits(std::span<const uint8_t> units, std::string& out) {
  if constexpr (std::endian::native != std::endian::little) return false;
  if (units.size() % 2 != 0 || (units.size() >= 2 && units[0] == 0xFF && units[1] == 0xFE)) return false;
  out.resize(units.size() / 2);
  size_t at = 0;
  for (; at + 8 <= units.size(); at += 8) {
    uint64_t word = 0;
    std::memcpy(&word, units.data() + at, sizeof word);
    if ((word & 0xFF80FF80FF80FF80ull) != 0) return false;
    const uint32_t chars = static_cast<uint32_t>((word & 0xFF) | ((word >> 8) & 0xFF00) | ((word >> 16) & 0xFF0000) |
                                                 ((word >> 24) & 0xFF000000));
    std::memcpy(out.data() + at / 2, &chars, sizeof chars);
  }
  for (; at < units.size(); at += 2) {
    if (units[at] >= 0x80 || units[at + 1] != 0) return false;
    out[at / 2] = static_cast<char>(units[at]);
  }
  return true;
}

// A little-endian 16-bit field of a column descriptor already checked whole.
uint16_t Le16(std::span<const uint8_t> descriptor, size_t at) {
  return static_cast<uint16_t>(descriptor[at] | (descriptor[at + 1] << 8));
}

// Every field read from a column descriptor by offset lies inside it, in both formats.
constexpr bool DescriptorFields(const TableDefinitionLayout& L) {
  const size_t words[] = {L.column_number, L.variable_index, L.fixed_offset, L.length, L.sort_order, L.code_page};
  for (size_t at : words)
    if (at + 2 > L.column_descriptor) return false;
  return L.flags < L.column_descriptor && 16 < L.column_descriptor && 12 < L.column_descriptor;
}
static_assert(DescriptorFields(kJet3Layout) && DescriptorFields(kJet4Layout));

void ReadName(const ByteReader& r, size_t& at, Format format, uint16_t code_page, std::string& name) {
  const size_t length = format == Format::kJet3 ? r.U8(at) : r.U16(at);
  at += format == Format::kJet3 ? 1 : 2;
  const auto stored = r.Slice(at, length);
  at += length;
  if (format == Format::kJet4 && AsciiUnits(stored, name)) return;
  name = DecodeText(stored, format, code_page);
}

}  // namespace

TableDef ReadTableDefinition(PageSource& pages, Format format, uint32_t definition_page, uint16_t code_page) {
  const bool jet3 = format == Format::kJet3;
  const TableDefinitionLayout& L = LayoutOf(format);
  TableDef table;
  table.format = format;
  table.definition_page = definition_page;
  const std::vector<uint8_t> stream = DefinitionStream(pages, definition_page, table.definition_pages);
  const ByteReader r(stream, "table definition");

  {
    const auto header = r.Slice(0, L.header_end);
    table.stored_header.assign(header.begin(), header.end());
  }
  table.row_count = r.U32(jet3 ? 12 : 16);
  table.next_auto_number = r.U32(jet3 ? 16 : 20);
  table.table_type = r.U8(L.header - 1);
  table.max_columns = r.U16(L.header);
  table.variable_column_count = r.U16(L.header + 2);
  const uint16_t column_count = r.U16(L.header + 4);
  const uint32_t logical_count = r.U32(L.header + 6);
  const uint32_t real_count = r.U32(L.header + 10);
  table.owned_pages_pointer = r.U32(L.header + 14);
  table.free_pages_pointer = r.U32(L.header + 18);
  // Every count below costs bytes of the stream; a count the stream cannot hold is damage
  // (checked before anything is sized by it).
  if (real_count > stream.size() / L.count_block || logical_count > stream.size() / L.logical_index)
    ThrowCorrupt("the definition at page " + std::to_string(definition_page) + " claims too many indexes");

  size_t at = L.header_end;
  const size_t count_blocks_at = at;
  // The count blocks come before the columns, their indexes after: checked here, read there.
  r.Slice(count_blocks_at, size_t{real_count} * L.count_block);
  at += size_t{real_count} * L.count_block;

  // A count past the stream's end raises at the first descriptor it lacks; it sizes nothing.
  table.columns.reserve(std::min<size_t>(column_count, stream.size() / L.column_descriptor));
  for (uint16_t i = 0; i < column_count; ++i, at += L.column_descriptor) {
    // The descriptor is checked whole, once: every offset below lies inside it (see
    // DescriptorFields), and a wide schema has tens of thousands of them.
    const std::span<const uint8_t> d = r.Slice(at, L.column_descriptor);
    ColumnDef& c = table.columns.emplace_back();
    c.stored.assign(d.begin(), d.end());
    c.type = d[0];
    c.number = Le16(d, L.column_number);
    c.variable_index = Le16(d, L.variable_index);
    c.flags = d[L.flags];
    c.fixed_offset = Le16(d, L.fixed_offset);
    c.length = Le16(d, L.length);
    c.position = i;
    if (jet3) {
      c.sort_order = Le16(d, L.sort_order);
      c.code_page = Le16(d, L.code_page);
    } else {
      c.extra_flags = d[16];
      if (c.type == static_cast<uint8_t>(FieldType::kNumeric)) {
        c.precision = d[11];
        c.scale = d[12];
      } else {
        c.sort_order = Le16(d, L.sort_order);
      }
    }
  }
  for (ColumnDef& c : table.columns) ReadName(r, at, format, code_page, c.name);

  table.real_indexes.reserve(real_count);
  for (uint32_t i = 0; i < real_count; ++i, at += L.real_index) {
    const ByteReader d = r.Sub(at, L.real_index);
    RealIndexDef& index = table.real_indexes.emplace_back();
    index.stored.assign(d.bytes().begin(), d.bytes().end());
    const size_t count_at = count_blocks_at + size_t{i} * L.count_block;
    const auto count_block = r.Slice(count_at, L.count_block);
    index.stored_count_block.assign(count_block.begin(), count_block.end());
    index.row_count = r.U32(count_at);
    index.unique_entry_count = r.U32(count_at + 4);
    for (size_t k = 0; k < kMaxIndexColumns; ++k) {
      const uint16_t number = d.U16(L.real_columns + 3 * k);
      if (number == kNoIndexColumn) continue;
      index.columns.push_back(IndexColumnDef{number, (d.U8(L.real_columns + 3 * k + 2) & kAscendingOrder) != 0});
    }
    index.usage_map_pointer = d.U32(L.real_usage_map);
    index.first_page = d.U32(L.real_first_page);
    index.flags = d.U8(L.real_flags);
  }

  table.indexes.reserve(logical_count);
  for (uint32_t i = 0; i < logical_count; ++i, at += L.logical_index) {
    const ByteReader d = r.Sub(at, L.logical_index);
    LogicalIndexDef index;
    index.stored.assign(d.bytes().begin(), d.bytes().end());
    index.index_number = d.U32(L.logical_number);
    index.real_index = d.U32(L.logical_real);
    index.related_table_type = d.U8(L.logical_related_type);
    index.related_index = d.U32(L.logical_related_index);
    index.related_table = d.U32(L.logical_related_page);
    index.cascade_update = d.U8(L.logical_cascade_update);
    index.cascade_delete = d.U8(L.logical_cascade_delete);
    index.kind = d.U8(L.logical_kind);
    if (index.real_index >= real_count)
      ThrowCorrupt("an index of the definition at page " + std::to_string(definition_page) +
                   " names a missing real index");
    table.indexes.push_back(std::move(index));
  }
  for (LogicalIndexDef& index : table.indexes) ReadName(r, at, format, code_page, index.name);

  // The long-value map list ends at 0xFFFF; older definitions may stop without one.
  while (r.Has(at, 2) && r.U16(at) != 0xFFFF) {
    const ByteReader d = r.Sub(at, 10);
    table.long_value_maps.push_back(LongValueMapsDef{d.U16(0), d.U32(2), d.U32(6)});
    at += 10;
  }
  return table;
}

}  // namespace jet
