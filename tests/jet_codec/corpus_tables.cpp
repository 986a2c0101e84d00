#include "tests/jet_codec/corpus_tables.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "jet/common/byte_reader.h"
#include "jet/common/text_codec.h"
#include "jet/core/data_page.h"
#include "jet/core/row_codec.h"

namespace vantrel::test {

FilePages::FilePages(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (bytes_.size() < 0x15) throw std::runtime_error("not a database: " + file.string());
  format_ = bytes_[0x14] == 0 ? jet::Format::kJet3 : jet::Format::kJet4;
}

std::span<const uint8_t> FilePages::Page(uint32_t number) {
  if (number >= page_count()) jet::ThrowCorrupt("page past the end");
  return std::span<const uint8_t>(bytes_).subspan(size_t{number} * page_size(), page_size());
}

jet::TableDef ReadTableDef(FilePages& pages, uint32_t definition_page) {
  const bool jet3 = pages.format() == jet::Format::kJet3;
  std::vector<uint8_t> stream;
  for (uint32_t page = definition_page, hops = 0; page != 0 && hops < 100; ++hops) {
    auto bytes = pages.Page(page);
    stream.insert(stream.end(), bytes.begin() + (stream.empty() ? 0 : 8), bytes.end());
    page = jet::ByteReader(bytes).U32(4);
  }
  jet::ByteReader r(stream, "table definition");
  jet::TableDef table;
  table.format = pages.format();
  table.definition_page = definition_page;
  const size_t base = jet3 ? 21 : 41;
  table.owned_pages_pointer = r.U32(base + 14);
  table.max_columns = r.U16(base);
  table.variable_column_count = r.U16(base + 2);
  const uint16_t columns = r.U16(base + 4);
  const uint32_t real_indexes = r.U32(base + 10);
  size_t at = (jet3 ? 43 : 63) + real_indexes * (jet3 ? 8 : 12);
  for (uint16_t i = 0; i < columns; ++i, at += jet3 ? 18 : 25) {
    jet::ColumnDef c;
    c.type = r.U8(at);
    c.number = r.U16(at + (jet3 ? 1 : 5));
    c.variable_index = r.U16(at + (jet3 ? 3 : 7));
    if (!jet3) c.precision = r.U8(at + 11), c.scale = r.U8(at + 12);
    c.flags = r.U8(at + (jet3 ? 13 : 15));
    if (!jet3) c.extra_flags = r.U8(at + 16);
    c.fixed_offset = r.U16(at + (jet3 ? 14 : 21));
    c.length = r.U16(at + (jet3 ? 16 : 23));
    c.position = i;
    table.columns.push_back(c);
  }
  for (auto& c : table.columns) {
    const size_t length = jet3 ? r.U8(at) : r.U16(at);
    at += jet3 ? 1 : 2;
    c.name = jet::DecodeText(r.Slice(at, length), pages.format(), 1252);
    at += length;
  }
  return table;
}

namespace {

// The pages a usage map marks, in page order.
std::vector<uint32_t> MappedPages(FilePages& pages, uint32_t map_pointer) {
  jet::RowSlot slot = jet::ReadRowSlot(pages.Page(map_pointer >> 8), pages.format(), map_pointer & 0xFF);
  std::vector<uint8_t> map(slot.bytes.begin(), slot.bytes.end());
  jet::ByteReader r(map, "usage map");
  std::vector<uint32_t> marked;
  auto add_bits = [&](std::span<const uint8_t> bits, uint32_t first) {
    for (size_t k = 0; k < bits.size() * 8; ++k) {
      if (bits[k / 8] >> (k % 8) & 1) marked.push_back(first + static_cast<uint32_t>(k));
    }
  };
  if (r.U8(0) == 0) {
    add_bits(r.Slice(5, map.size() - 5), r.U32(1));
  } else {
    const uint32_t per_page = (pages.page_size() - 4) * 8;
    for (size_t j = 0; 1 + 4 * j + 4 <= map.size(); ++j) {
      const uint32_t bitmap_page = r.U32(1 + 4 * j);
      if (bitmap_page != 0) add_bits(pages.Page(bitmap_page).subspan(4), static_cast<uint32_t>(j) * per_page);
    }
  }
  return marked;
}

}  // namespace

std::vector<jet::Row> ReadAllRows(FilePages& pages, const jet::TableDef& table) {
  const jet::DecodeContext context{pages.format(), 1252, &pages};
  std::vector<jet::Row> rows;
  for (const auto& bytes : ReadAllRowBytes(pages, table)) rows.push_back(jet::DecodeRow(table, bytes, context));
  return rows;
}

std::vector<std::vector<uint8_t>> ReadAllRowBytes(FilePages& pages, const jet::TableDef& table) {
  std::vector<std::vector<uint8_t>> rows;
  for (uint32_t p : MappedPages(pages, table.owned_pages_pointer)) {
    if (p >= pages.page_count()) continue;
    auto page = pages.Page(p);
    if (page[0] != 0x01 || jet::ByteReader(page).U32(4) != table.definition_page) continue;
    const uint16_t count = jet::RowSlotCount(page, pages.format(), table.definition_page);
    for (uint16_t i = 0; i < count; ++i) {
      jet::RowSlot slot = jet::ReadRowSlot(pages.Page(p), pages.format(), i);
      if (slot.state == jet::RowSlot::State::kDeleted || slot.state == jet::RowSlot::State::kForwardTarget) continue;
      if (slot.state == jet::RowSlot::State::kForwarded) {
        rows.push_back(jet::ReadForwardedRow(pages, pages.format(), slot, table.definition_page));
        continue;
      }
      rows.emplace_back(slot.bytes.begin(), slot.bytes.end());
    }
  }
  return rows;
}

}  // namespace vantrel::test
