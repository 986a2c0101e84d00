#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <optional>
#include <string>
#include <vector>

#include "jet/common/format.h"
#include "jet/core/value.h"

namespace jet {

// Column flags of the column descriptor.
namespace column_flag {
inline constexpr uint8_t kFixedLength = 0x01;
inline constexpr uint8_t kCanBeNull = 0x02;  // "updatable / nullable": not the Required property
inline constexpr uint8_t kAutoNumber = 0x04;
inline constexpr uint8_t kReplication = 0x10;
inline constexpr uint8_t kAutoGuid = 0x40;  // Jet 4 only
inline constexpr uint8_t kHyperlink = 0x80;
}  // namespace column_flag

// The bytes of one column descriptor as stored, held inline: a catalog keeps one for every
// column, and a heap block for each made reading a wide schema mostly allocation. The
// descriptors of both formats fit (Jet 3: 18 bytes, Jet 4: 25); more raises.
class DescriptorBytes {
 public:
  static constexpr size_t kCapacity = 25;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  uint8_t* data() { return bytes_.data(); }
  const uint8_t* data() const { return bytes_.data(); }
  uint8_t* begin() { return bytes_.data(); }
  uint8_t* end() { return bytes_.data() + size_; }
  const uint8_t* begin() const { return bytes_.data(); }
  const uint8_t* end() const { return bytes_.data() + size_; }
  uint8_t& operator[](size_t at) { return bytes_[at]; }
  uint8_t operator[](size_t at) const { return bytes_[at]; }

  void clear() { size_ = 0; }
  void assign(size_t count, uint8_t value) {
    Fit(count);
    std::fill(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(count), value);
    size_ = static_cast<uint8_t>(count);
  }
  template <std::input_iterator Iterator>
  void assign(Iterator first, Iterator last) {
    const auto count = static_cast<size_t>(std::distance(first, last));
    Fit(count);
    std::copy(first, last, bytes_.begin());
    size_ = static_cast<uint8_t>(count);
  }

 private:
  static void Fit(size_t count) {
    if (count > kCapacity) throw std::length_error("column descriptor of " + std::to_string(count) + " bytes");
  }

  std::array<uint8_t, kCapacity> bytes_{};
  uint8_t size_ = 0;
};

// One column as the table definition stores it.
struct ColumnDef {
  std::string name;
  uint8_t type = 0;                 // FieldType number; unknown numbers are kept as read
  uint16_t number = 0;              // column number: position in the null mask
  uint16_t variable_index = 0;      // slot in the variable-length offset table
  uint16_t fixed_offset = 0;        // offset in the fixed area (fixed-length columns)
  uint16_t length = 0;              // stored length in bytes (text: bytes, so Jet 4 = 2 x characters)
  uint8_t flags = 0;                // column_flag bits
  uint8_t extra_flags = 0;          // Jet 4 second flag byte (compressed Unicode = 0x01)
  uint8_t precision = 0, scale = 0; // decimal fields
  uint16_t code_page = 0;           // text fields, as stored
  uint16_t sort_order = 0;          // text fields, as stored
  uint16_t position = 0;            // 0-based order of the descriptor in the table definition
  // The descriptor as read. Writing lays the fields above over it, so bytes the engine does
  // not interpret stay as Access wrote them; a new column starts from Access's defaults.
  DescriptorBytes stored;

  // The column without its stored descriptor: what a reader of its values needs. Every field
  // of a catalog carries one, and the descriptor bytes matter only to a writer, which takes
  // them from the table definition.
  ColumnDef WithoutStored() const {
    ColumnDef copy = *this;
    copy.stored = DescriptorBytes{};
    return copy;
  }

  bool fixed() const { return (flags & column_flag::kFixedLength) != 0; }
  bool auto_number() const { return (flags & (column_flag::kAutoNumber | column_flag::kAutoGuid)) != 0; }
  bool compressed_unicode() const { return (extra_flags & 0x01) != 0; }
  // Memo and OLE: the row holds a long-value reference, the value lives on long-value pages.
  bool long_value() const {
    return type == static_cast<uint8_t>(FieldType::kMemo) || type == static_cast<uint8_t>(FieldType::kOle);
  }
};

struct IndexColumnDef {
  uint16_t column_number = 0;  // ColumnDef::number
  bool ascending = true;
};

namespace index_flag {
inline constexpr uint8_t kUnique = 0x01;
inline constexpr uint8_t kIgnoreNulls = 0x02;
inline constexpr uint8_t kRequired = 0x08;
}  // namespace index_flag

// A real index: one B-tree of keys.
struct RealIndexDef {
  uint32_t row_count = 0;          // first word of its count block, as stored
  uint32_t unique_entry_count = 0; // second word of its count block
  std::vector<IndexColumnDef> columns;
  uint32_t usage_map_pointer = 0;  // page/row of its usage map
  uint32_t first_page = 0;         // root page of the B-tree
  uint8_t flags = 0;               // index_flag bits
  std::vector<uint8_t> stored;      // descriptor as read (see ColumnDef::stored)
  std::vector<uint8_t> stored_count_block;
};

// A logical index: what DAO shows as an Index. Several may share one real index.
struct LogicalIndexDef {
  std::string name;
  uint32_t index_number = 0;
  uint32_t real_index = 0;         // position in TableDef::real_indexes
  uint8_t kind = 0;                // 1 = primary key, 2 = foreign key, 0 = ordinary
  uint32_t related_table = 0;      // foreign keys: the other table's definition page
  uint32_t related_index = 0;
  uint8_t related_table_type = 0;
  uint8_t cascade_update = 0;
  uint8_t cascade_delete = 0;
  std::vector<uint8_t> stored;      // descriptor as read (see ColumnDef::stored)

  bool primary() const { return kind == 1; }
  bool foreign_key() const { return kind == 2; }
};

// The two usage maps of the long-value pages of one memo or OLE column.
struct LongValueMapsDef {
  uint16_t column_number = 0;
  uint32_t owned_pages_pointer = 0;  // 0: the column has no map
  uint32_t free_pages_pointer = 0;
};

// A table definition as parsed from its TDEF page chain.
struct TableDef {
  std::string name;
  uint32_t definition_page = 0;    // first TDEF page: the table's identity in the file
  Format format = Format::kJet4;
  uint32_t row_count = 0;          // as stored in the definition (may be stale; scanning is authoritative)
  uint32_t next_auto_number = 0;
  uint8_t table_type = 0;          // 0x4E user table, 0x53 system table
  uint16_t max_columns = 0;        // columns a row may carry (deleted ones included)
  uint16_t variable_column_count = 0;
  uint32_t owned_pages_pointer = 0;  // page/row of the usage map of its data pages
  uint32_t free_pages_pointer = 0;   // page/row of the usage map of its pages with free space
  std::vector<ColumnDef> columns;  // in descriptor order
  std::vector<RealIndexDef> real_indexes;
  std::vector<LogicalIndexDef> indexes;
  std::vector<LongValueMapsDef> long_value_maps;
  std::vector<uint32_t> definition_pages;  // the TDEF chain, first page first
  std::vector<uint8_t> stored_header;      // the header block as read (see ColumnDef::stored)

  const ColumnDef* ColumnByNumber(uint16_t number) const {
    for (const ColumnDef& column : columns)
      if (column.number == number) return &column;
    return nullptr;
  }
};

}  // namespace jet
