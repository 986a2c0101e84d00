#pragma once

// Hand-built table definitions and page images shared by the codec tests.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "jet/common/byte_reader.h"
#include "jet/common/format.h"
#include "jet/common/page_source.h"
#include "jet/core/data_page.h"
#include "jet/core/long_value.h"
#include "jet/core/table_def.h"

namespace vantrel::test {

inline jet::ColumnDef FixedColumn(std::string name, jet::FieldType type, uint16_t number, uint16_t offset,
                                  uint16_t length) {
  jet::ColumnDef column;
  column.name = std::move(name);
  column.type = static_cast<uint8_t>(type);
  column.number = number;
  column.fixed_offset = offset;
  column.length = length;
  column.flags = jet::column_flag::kFixedLength | jet::column_flag::kCanBeNull;
  return column;
}

inline jet::ColumnDef VariableColumn(std::string name, jet::FieldType type, uint16_t number, uint16_t slot,
                                     uint16_t length = 255) {
  jet::ColumnDef column;
  column.name = std::move(name);
  column.type = static_cast<uint8_t>(type);
  column.number = number;
  column.variable_index = slot;
  column.length = length;
  column.flags = jet::column_flag::kCanBeNull;
  return column;
}

inline jet::TableDef Table(jet::Format format, std::vector<jet::ColumnDef> columns) {
  jet::TableDef table;
  table.name = "T";
  table.format = format;
  uint16_t max_number = 0;
  for (const auto& c : columns) {
    max_number = std::max<uint16_t>(max_number, c.number + 1);
    if (!c.fixed() && c.type != static_cast<uint8_t>(jet::FieldType::kBoolean)) {
      table.variable_column_count = std::max<uint16_t>(table.variable_column_count, c.variable_index + 1);
    }
  }
  table.max_columns = max_number;
  table.columns = std::move(columns);
  return table;
}

// A data page of `format` holding `rows` in row order, packed downward from the page end as
// Access stores them; `flags[i]` is or-ed into row i's offset entry.
inline std::vector<uint8_t> DataPage(jet::Format format, uint32_t owner, const std::vector<std::vector<uint8_t>>& rows,
                                     std::vector<uint16_t> flags = {}) {
  std::vector<uint8_t> page(jet::PageSizeOf(format), 0);
  page[0] = 0x01;
  page[1] = 0x01;
  jet::PutU32(page.data() + 4, owner);
  jet::PutU16(page.data() + jet::DataPageRowCountOffset(format), static_cast<uint16_t>(rows.size()));
  size_t end = page.size();
  for (size_t i = 0; i < rows.size(); ++i) {
    const size_t start = end - rows[i].size();
    std::copy(rows[i].begin(), rows[i].end(), page.begin() + static_cast<std::ptrdiff_t>(start));
    uint16_t entry = static_cast<uint16_t>(start);
    if (i < flags.size()) entry |= flags[i];
    jet::PutU16(page.data() + jet::DataPageHeaderSize(format) + 2 * i, entry);
    end = start;
  }
  const size_t used = jet::DataPageHeaderSize(format) + 2 * rows.size() + (page.size() - end);
  jet::PutU16(page.data() + 2, static_cast<uint16_t>(page.size() - used));
  return page;
}

inline std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

// Pages held in memory; page 0 is a blank header page so that pointers to page 0 stay invalid.
class MemoryPages : public jet::PageSource {
 public:
  explicit MemoryPages(jet::Format format) : format_(format) { pages_.emplace_back(jet::PageSizeOf(format), 0); }
  uint32_t page_size() const override { return jet::PageSizeOf(format_); }
  uint32_t page_count() const override { return static_cast<uint32_t>(pages_.size()); }
  std::span<const uint8_t> Page(uint32_t number) override {
    if (number >= pages_.size()) jet::ThrowCorrupt("page past the end");
    return pages_[number];
  }
  uint32_t Add(std::vector<uint8_t> page) {
    pages_.push_back(std::move(page));
    return static_cast<uint32_t>(pages_.size() - 1);
  }
  std::vector<uint8_t>& Mutable(uint32_t number) { return pages_.at(number); }

  // Places each LVAL row of a long value on a page of its own, in the order a writer works:
  // choose the places, link the chain, then store the rows.
  void Place(jet::LongValueImage& image) {
    std::vector<uint32_t> pointers;
    for (size_t i = 0; i < image.rows.size(); ++i) pointers.push_back(jet::RowPointer(page_count() + static_cast<uint32_t>(i), 0));
    image.LinkChain(pointers);
    for (const auto& row : image.rows) Add(DataPage(format_, jet::kLongValuePageOwner, {row}));
    if (!pointers.empty()) image.SetFirstRow(pointers[0] >> 8, 0);
  }

 private:
  jet::Format format_;
  std::vector<std::vector<uint8_t>> pages_;
};

}  // namespace vantrel::test
