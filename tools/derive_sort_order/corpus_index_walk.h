#pragma once

// Reads what the key derivation needs from an Access-made database: its user and system
// tables with their real indexes, and each index's leaf entries in B-tree order with the row
// they point at. Used by the sort-order derivation tool and by the key tests, which compare
// rebuilt keys with these entries. It reads only; every offset is bounds-checked, so a damaged
// file raises jet::Error.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/common/page_source.h"
#include "jet/common/text_codec.h"
#include "jet/core/data_page.h"
#include "jet/core/row_codec.h"
#include "jet/core/table_def.h"

namespace vantrel::derive {

class FileImage : public jet::PageSource {
 public:
  explicit FileImage(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes_.size() < 2048) jet::ThrowCorrupt("file too short: " + file.string());
    format_ = bytes_[0x14] == 0 ? jet::Format::kJet3 : jet::Format::kJet4;
  }
  jet::Format format() const { return format_; }
  uint32_t page_size() const override { return jet::PageSizeOf(format_); }
  uint32_t page_count() const override { return static_cast<uint32_t>(bytes_.size() / page_size()); }
  std::span<const uint8_t> Page(uint32_t number) override {
    if (number >= page_count()) jet::ThrowCorrupt("page " + std::to_string(number) + " past the end");
    return std::span<const uint8_t>(bytes_).subspan(size_t{number} * page_size(), page_size());
  }

 private:
  std::vector<uint8_t> bytes_;
  jet::Format format_ = jet::Format::kJet4;
};

// One leaf entry: the key as Access wrote it (shared prefix restored) and the row it names.
struct LeafEntry {
  std::vector<uint8_t> key;
  uint32_t data_page = 0;
  uint8_t data_row = 0;
};

inline jet::TableDef ReadIndexedTableDef(FileImage& pages, uint32_t definition_page) {
  const bool jet3 = pages.format() == jet::Format::kJet3;
  std::vector<uint8_t> stream;
  for (uint32_t page = definition_page, hops = 0; page != 0; ++hops) {
    if (hops > pages.page_count()) jet::ThrowCorrupt("table definition chain loops");
    auto bytes = pages.Page(page);
    if (bytes[0] != 0x02) jet::ThrowCorrupt("table definition chain leaves its pages");
    stream.insert(stream.end(), bytes.begin() + (stream.empty() ? 0 : 8), bytes.end());
    page = jet::ByteReader(bytes).U32(4);
  }
  jet::ByteReader r(stream, "table definition");
  jet::TableDef table;
  table.format = pages.format();
  table.definition_page = definition_page;
  const size_t base = jet3 ? 21 : 41;
  table.max_columns = r.U16(base);
  table.variable_column_count = r.U16(base + 2);
  const uint16_t columns = r.U16(base + 4);
  const uint32_t logical_indexes = r.U32(base + 6);
  const uint32_t real_indexes = r.U32(base + 10);
  if (real_indexes > 64 || logical_indexes > 64) jet::ThrowCorrupt("implausible index count");
  size_t at = (jet3 ? 43 : 63) + real_indexes * (jet3 ? 8 : 12);
  for (uint16_t i = 0; i < columns; ++i, at += jet3 ? 18 : 25) {
    jet::ColumnDef c;
    c.type = r.U8(at);
    c.number = r.U16(at + (jet3 ? 1 : 5));
    c.variable_index = r.U16(at + (jet3 ? 3 : 7));
    c.sort_order = r.U16(at + (jet3 ? 9 : 11));
    if (!jet3) c.precision = r.U8(at + 11), c.scale = r.U8(at + 12);
    if (jet3) c.code_page = r.U16(at + 11);
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
  for (uint32_t i = 0; i < real_indexes; ++i, at += jet3 ? 39 : 52) {
    jet::RealIndexDef index;
    const size_t slots = at + (jet3 ? 0 : 4);
    for (size_t k = 0; k < 10; ++k) {
      const uint16_t number = r.U16(slots + 3 * k);
      if (number == 0xFFFF) continue;
      index.columns.push_back({number, r.U8(slots + 3 * k + 2) != 0});
    }
    index.usage_map_pointer = r.U32(at + (jet3 ? 30 : 34));
    index.first_page = r.U32(at + (jet3 ? 34 : 38));
    index.flags = r.U8(at + (jet3 ? 38 : 46));
    table.real_indexes.push_back(index);
  }
  return table;
}

namespace walk_detail {

struct PageEntries {
  std::vector<std::vector<uint8_t>> entries;
  uint32_t next_page = 0;
};

// Entries of one index page. The start bitmask has a bit for each byte of the entry area;
// a set bit marks where an entry ends and the next begins. Entries after the first omit the
// prefix they share with the page's first entry.
inline PageEntries ReadIndexPage(std::span<const uint8_t> page, jet::Format format) {
  const bool jet3 = format == jet::Format::kJet3;
  jet::ByteReader r(page, "index page");
  const size_t mask_start = jet3 ? 0x16 : 0x1B;
  const size_t first = jet3 ? 0xF8 : 0x1E0;
  // Jet 3 keeps the shared-prefix length in one byte: node pages carry a 1 in the byte after it.
  const size_t prefix_length = jet3 ? r.U8(20) : r.U16(24);
  const size_t free_space = r.U16(2);
  if (free_space > page.size() - first) jet::ThrowCorrupt("index page free space too large");
  const size_t end = page.size() - free_space;
  PageEntries out;
  out.next_page = r.U32(jet3 ? 12 : 16);
  std::vector<uint8_t> prefix;
  size_t start = first;
  auto take = [&](size_t stop) {
    std::span<const uint8_t> stored = r.Slice(start, stop - start);
    if (out.entries.empty()) {
      if (prefix_length > stored.size()) jet::ThrowCorrupt("index prefix longer than the first entry");
      prefix.assign(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(prefix_length));
      out.entries.emplace_back(stored.begin(), stored.end());
    } else {
      std::vector<uint8_t> entry = prefix;
      entry.insert(entry.end(), stored.begin(), stored.end());
      out.entries.push_back(std::move(entry));
    }
    start = stop;
  };
  for (size_t pos = first + 1; pos < end; ++pos) {
    const size_t bit = pos - first;
    if (mask_start + bit / 8 >= first) break;
    if ((r.U8(mask_start + bit / 8) >> (bit % 8)) & 1) take(pos);
  }
  if (start < end) take(end);
  return out;
}

}  // namespace walk_detail

// Leaf entries of the B-tree rooted at `root`, leftmost leaf first along the sibling chain.
inline std::vector<LeafEntry> ReadLeafEntries(FileImage& pages, uint32_t root) {
  const jet::Format format = pages.format();
  uint32_t page = root;
  for (uint32_t depth = 0;; ++depth) {
    if (depth > 16) jet::ThrowCorrupt("index tree too deep");
    auto bytes = pages.Page(page);
    if (bytes[0] == 0x04) break;
    if (bytes[0] != 0x03) jet::ThrowCorrupt("index tree names a page that is not an index page");
    auto node = walk_detail::ReadIndexPage(bytes, format);
    if (node.entries.empty()) return {};
    const auto& first = node.entries.front();
    if (first.size() < 4) jet::ThrowCorrupt("index node entry too short");
    const size_t k = first.size() - 4;  // the child page closes a node entry, big-endian
    page = (uint32_t{first[k]} << 24) | (uint32_t{first[k + 1]} << 16) | (uint32_t{first[k + 2]} << 8) | first[k + 3];
  }
  std::vector<LeafEntry> out;
  std::set<uint32_t> seen;
  while (page != 0) {
    if (!seen.insert(page).second) jet::ThrowCorrupt("index leaf chain loops");
    auto bytes = pages.Page(page);
    if (bytes[0] != 0x04) jet::ThrowCorrupt("index leaf chain leaves the leaves");
    auto leaf = walk_detail::ReadIndexPage(bytes, format);
    for (auto& e : leaf.entries) {
      if (e.size() < 4) jet::ThrowCorrupt("index leaf entry too short");
      LeafEntry entry;
      const size_t k = e.size() - 4;
      entry.data_page = (uint32_t{e[k]} << 16) | (uint32_t{e[k + 1]} << 8) | e[k + 2];
      entry.data_row = e[k + 3];
      entry.key.assign(e.begin(), e.begin() + static_cast<std::ptrdiff_t>(k));
      out.push_back(std::move(entry));
    }
    page = leaf.next_page;
  }
  return out;
}

// The row an entry points at, decoded.
inline jet::Row ReadEntryRow(FileImage& pages, const jet::TableDef& table, const LeafEntry& entry) {
  jet::RowSlot slot = jet::ReadRowSlot(pages.Page(entry.data_page), pages.format(), entry.data_row);
  std::vector<uint8_t> bytes;
  if (slot.state == jet::RowSlot::State::kForwarded) {
    bytes = jet::ReadForwardedRow(pages, pages.format(), slot, table.definition_page);
  } else if (slot.state == jet::RowSlot::State::kDeleted) {
    jet::ThrowCorrupt("index entry names a deleted row");
  } else {
    bytes.assign(slot.bytes.begin(), slot.bytes.end());
  }
  const jet::DecodeContext context{pages.format(), 1252, &pages};
  return jet::DecodeRow(table, bytes, context);
}

// Definition pages of every table the catalog lists (MSysObjects rows of type 1; the catalog
// itself lives at page 2).
inline std::vector<uint32_t> ListTablePages(FileImage& pages) {
  constexpr uint32_t kCatalogPage = 2;
  const jet::TableDef catalog = ReadIndexedTableDef(pages, kCatalogPage);
  size_t id_at = catalog.columns.size(), type_at = catalog.columns.size();
  for (size_t i = 0; i < catalog.columns.size(); ++i) {
    if (catalog.columns[i].name == "Id") id_at = i;
    if (catalog.columns[i].name == "Type") type_at = i;
  }
  if (id_at == catalog.columns.size() || type_at == catalog.columns.size()) jet::ThrowCorrupt("no catalog");
  std::vector<uint32_t> tables;
  const jet::DecodeContext context{pages.format(), 1252, &pages};
  for (uint32_t p = 3; p < pages.page_count(); ++p) {
    auto bytes = pages.Page(p);
    if (bytes[0] != 0x01 || jet::ByteReader(bytes).U32(4) != kCatalogPage) continue;
    const uint16_t count = jet::RowSlotCount(bytes, pages.format(), kCatalogPage);
    for (uint16_t i = 0; i < count; ++i) {
      jet::RowSlot slot = jet::ReadRowSlot(pages.Page(p), pages.format(), i);
      if (slot.state != jet::RowSlot::State::kLive) continue;
      std::vector<uint8_t> row_bytes(slot.bytes.begin(), slot.bytes.end());
      jet::Row row = jet::DecodeRow(catalog, row_bytes, context);
      const auto* type = std::get_if<int16_t>(&row[type_at]);
      const auto* id = std::get_if<int32_t>(&row[id_at]);
      if (type != nullptr && id != nullptr && (*type & 0x7FFF) == 1) {
        tables.push_back(static_cast<uint32_t>(*id) & 0x00FFFFFF);
      }
    }
  }
  return tables;
}

}  // namespace vantrel::derive
