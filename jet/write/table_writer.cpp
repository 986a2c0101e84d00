#include "jet/write/table_writer.h"

#include <algorithm>
#include <string>

#include "jet/common/byte_reader.h"
#include "jet/core/data_page.h"
#include "jet/core/long_value.h"
#include "jet/core/row_codec.h"
#include "jet/core/row_encoder.h"
#include "jet/core/usage_map.h"
#include "jet/write/data_page_writer.h"
#include "jet/write/usage_map_writer.h"

namespace jet {

TableWriter::TableWriter(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, uint16_t code_page)
    : pages_(pages), allocator_(allocator), table_(table), code_page_(code_page), format_(table.format) {}

uint32_t TableWriter::NewDataPage() {
  const uint32_t page = allocator_.Allocate();
  InitDataPage(pages_.MutablePage(page), format_, table_.definition_page);
  auto new_page = [this] { return allocator_.Allocate(); };
  SetUsageMapBit(pages_, format_, table_.owned_pages_pointer, page, true, Uncovered::kUnmarked, new_page);
  if (table_.free_pages_pointer != 0)
    SetUsageMapBit(pages_, format_, table_.free_pages_pointer, page, true, Uncovered::kUnmarked, new_page);
  return page;
}

RowLocation TableWriter::Place(std::span<const uint8_t> row, uint16_t flags) {
  if (!last_data_page_) {
    // Continue on the table's last page, as Access fills a table from its end.
    const auto owned = ReadUsageMap(pages_, format_, table_.owned_pages_pointer).pages;
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) {
      if (*it >= pages_.page_count()) continue;
      const auto page = pages_.Page(*it);
      if (page[0] == 0x01 && ByteReader(page).U32(4) == table_.definition_page) {
        last_data_page_ = *it;
        break;
      }
    }
  }
  if (last_data_page_) {
    if (auto slot = AddRowAfter(pages_.MutablePage(*last_data_page_), format_, row, flags, data_end_))
      return RowLocation{*last_data_page_, *slot};
  }
  last_data_page_ = NewDataPage();
  data_end_.reset();
  auto slot = AddRowAfter(pages_.MutablePage(*last_data_page_), format_, row, flags, data_end_);
  if (!slot) throw Error(codec_err::kRecordTooLarge, "Record is too large.");
  return RowLocation{*last_data_page_, *slot};
}

void TableWriter::PlaceLongValue(LongValueImage& image) {
  long_value_end_.reset();  // the chain's rows are stored again below
  std::vector<uint32_t> pointers;
  for (const auto& row : image.rows) {
    // A single-row value shares pages with others; a chain's chunks each fill a page.
    std::optional<uint16_t> slot;
    if (long_value_page_ && image.layout == LongValueLayout::kSingleRow)
      slot = AddRow(pages_.MutablePage(*long_value_page_), format_, row);
    if (!slot) {
      long_value_page_ = allocator_.Allocate();
      InitDataPage(pages_.MutablePage(*long_value_page_), format_, kLongValuePageOwner);
      slot = AddRow(pages_.MutablePage(*long_value_page_), format_, row);
      if (!slot) throw Error(codec_err::kRecordTooLarge, "Record is too large.");
    }
    pointers.push_back(RowPointer(*long_value_page_, static_cast<uint8_t>(*slot)));
  }
  if (pointers.empty()) return;
  image.LinkChain(pointers);
  // The links are known only now: store the chain's rows again with them.
  if (image.layout == LongValueLayout::kChain) {
    for (size_t i = 0; i < image.rows.size(); ++i)
      ReplaceRow(pages_.MutablePage(pointers[i] >> 8), format_, static_cast<uint16_t>(pointers[i] & 0xFF),
                 image.rows[i]);
  }
  image.SetFirstRow(pointers.front() >> 8, static_cast<uint8_t>(pointers.front() & 0xFF));
}

bool TableWriter::PlaceSingleRowFrom(std::span<const uint8_t> stored, PageSource& source, uint8_t* header) {
  const std::optional<std::span<const uint8_t>> data = SingleRowLongValue(stored, format_, source);
  // What BuildLongValue would lay out otherwise: an empty value goes inline, a longer one than
  // a page takes goes into a chain.
  const size_t single_row_capacity = PageSizeOf(format_) - DataPageHeaderSize(format_) - 2;
  if (!data || data->empty() || data->size() > single_row_capacity) return false;
  // Copied: the view is of the source's page, and placing the row fetches pages.
  long_value_.assign(data->begin(), data->end());
  const auto length = static_cast<uint32_t>(long_value_.size());
  std::optional<uint16_t> slot;
  if (long_value_page_) slot = AddRowAfter(pages_.MutablePage(*long_value_page_), format_, long_value_, 0, long_value_end_);
  if (!slot) {
    long_value_page_ = allocator_.Allocate();
    InitDataPage(pages_.MutablePage(*long_value_page_), format_, kLongValuePageOwner);
    long_value_end_.reset();
    slot = AddRowAfter(pages_.MutablePage(*long_value_page_), format_, long_value_, 0, long_value_end_);
    if (!slot) throw Error(codec_err::kRecordTooLarge, "Record is too large.");
  }
  // The header BuildLongValue and SetFirstRow give a single-row value.
  PutU32(header, length | 0x40000000u);
  PutU32(header + 4, RowPointer(*long_value_page_, static_cast<uint8_t>(*slot)));
  PutU32(header + 8, 0);
  return true;
}

LongValuePlacer TableWriter::Placer() {
  return [this](LongValueImage& image) { PlaceLongValue(image); };
}

RowBuilder& TableWriter::Builder() {
  if (!builder_) {
    EncodeContext context;
    context.format = format_;
    context.code_page = code_page_;
    builder_.emplace(table_, context);
  }
  builder_->Clear();
  return *builder_;
}

std::vector<uint8_t> TableWriter::Encode(const Row& values) {
  if (values.size() != table_.columns.size()) {
    EncodeContext context;
    context.format = format_;
    context.code_page = code_page_;
    return EncodeRow(table_, values, context);  // raises for the count
  }
  RowBuilder& builder = Builder();
  for (size_t i = 0; i < values.size(); ++i) builder.SetValue(i, values[i]);
  return builder.Finish(Placer());
}

namespace {

bool NumberedByTable(const ColumnDef& column) {
  return (column.flags & column_flag::kAutoNumber) != 0 && column.type == static_cast<uint8_t>(FieldType::kLong);
}

}  // namespace

RowLocation TableWriter::Insert(Row values) {
  if (values.size() != table_.columns.size()) throw Error(err::kSyntaxInsert, "Number of query values and destination fields are not the same.");
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    if (!NumberedByTable(table_.columns[i])) continue;
    if (IsNull(values[i])) {
      values[i] = static_cast<int32_t>(++table_.next_auto_number);
    } else if (const auto* given = std::get_if<int32_t>(&values[i]); given && *given > 0 &&
               static_cast<uint32_t>(*given) > table_.next_auto_number) {
      table_.next_auto_number = static_cast<uint32_t>(*given);
    }
  }
  RowBuilder& builder = Builder();
  for (size_t i = 0; i < values.size(); ++i) builder.SetValue(i, values[i]);
  const RowLocation location = Place(builder.Finish(Placer()), 0);
  ++table_.row_count;
  return location;
}

RowLocation TableWriter::InsertBuilt() {
  if (!builder_) throw std::logic_error("InsertBuilt before Builder");
  RowBuilder& builder = *builder_;
  for (size_t i = 0; i < table_.columns.size(); ++i) {
    if (!NumberedByTable(table_.columns[i])) continue;
    const std::span<const uint8_t> given = builder.FixedBytes(i);
    if (given.size() != 4) {
      uint8_t next[4];
      PutU32(next, ++table_.next_auto_number);
      builder.SetStored(i, next);
      continue;
    }
    const auto number = static_cast<int32_t>(ByteReader(given).U32(0));
    if (number > 0 && static_cast<uint32_t>(number) > table_.next_auto_number)
      table_.next_auto_number = static_cast<uint32_t>(number);
  }
  const RowLocation location = Place(builder.Finish(Placer()), 0);
  ++table_.row_count;
  return location;
}

RowLocation TableWriter::InsertStored(std::span<const uint8_t> row) {
  const RowLocation location = Place(row, 0);
  ++table_.row_count;
  return location;
}

RowLocation TableWriter::InsertStoredFrom(std::span<const uint8_t> stored_row, PageSource& source) {
  std::vector<uint8_t>& row = stored_;
  row.assign(stored_row.begin(), stored_row.end());
  const RowLayout layout = ReadRowLayout(table_, row, format_);
  for (const ColumnDef& column : table_.columns) {
    if (!column.long_value() || column.number >= layout.column_count || !layout.NullMaskBit(column.number)) continue;
    const std::optional<std::span<const uint8_t>> bytes = layout.ValueBytes(column);
    if (!bytes || bytes->size() < kLongValueHeaderSize) continue;  // empty, or read as Null
    if (IsInlineLongValue(*bytes)) continue;  // its data moves with the row
    const size_t at = static_cast<size_t>(bytes->data() - row.data());
    if (PlaceSingleRowFrom(*bytes, source, row.data() + at)) continue;
    // The copy's header has 12 bytes like the one it replaces, so the row's layout stays.
    LongValueImage image = BuildLongValue(ReadLongValue(*bytes, format_, &source), format_, 0);
    PlaceLongValue(image);
    std::copy(image.header.begin(), image.header.begin() + kLongValueHeaderSize, row.begin() + static_cast<std::ptrdiff_t>(at));
  }
  const RowLocation location = Place(row, 0);
  ++table_.row_count;
  return location;
}

void TableWriter::Update(RowLocation location, const Row& values) {
  data_end_.reset();
  const std::vector<uint8_t> row = Encode(values);
  const RowSlot home = ReadRowSlot(pages_.Page(location.page), format_, location.slot);
  if (home.state == RowSlot::State::kDeleted || home.state == RowSlot::State::kForwardTarget)
    throw Error(err::kItemNotFound, "The row to update is not there.");
  if (home.state == RowSlot::State::kForwarded) {
    const uint32_t target_page = home.forward_page();
    const uint16_t target_slot = home.forward_row();
    if (ReplaceRow(pages_.MutablePage(target_page), format_, target_slot, row, row_offset_flag::kForwardTarget)) return;
    DeleteRow(pages_.MutablePage(target_page), format_, target_slot);
  } else if (ReplaceRow(pages_.MutablePage(location.page), format_, location.slot, row)) {
    return;
  }
  // No room where the row is: it moves, and its old place keeps a pointer to it.
  const RowLocation moved = Place(row, row_offset_flag::kForwardTarget);
  std::vector<uint8_t> stub(4);
  PutU32(stub.data(), RowPointer(moved.page, static_cast<uint8_t>(moved.slot)));
  if (!ReplaceRow(pages_.MutablePage(location.page), format_, location.slot, stub, row_offset_flag::kForwarded))
    ThrowCorrupt("a forwarding stub does not fit where its row was");
}

void TableWriter::Delete(RowLocation location) {
  data_end_.reset();
  const RowSlot home = ReadRowSlot(pages_.Page(location.page), format_, location.slot);
  if (home.state == RowSlot::State::kDeleted || home.state == RowSlot::State::kForwardTarget)
    throw Error(err::kItemNotFound, "The row to delete is not there.");
  if (home.state == RowSlot::State::kForwarded) {
    const uint32_t target_page = home.forward_page();
    const uint16_t target_slot = home.forward_row();
    DeleteRow(pages_.MutablePage(target_page), format_, target_slot);
  }
  DeleteRow(pages_.MutablePage(location.page), format_, location.slot);
  if (table_.row_count > 0) --table_.row_count;
}

}  // namespace jet
