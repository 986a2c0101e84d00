#include "jet/check/table_check.h"

#include <set>
#include <vector>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/core/data_page.h"
#include "jet/core/row_codec.h"
#include "jet/core/usage_map.h"

namespace jet::check {
namespace {

constexpr uint32_t kLongValueKindMask = 0xC0000000;
constexpr uint32_t kInline = 0x80000000;
constexpr uint32_t kSingleRow = 0x40000000;

// Claims the LVAL rows of one value that has already been read whole, so its chain is known
// to end; the visited set still guards the walk on its own.
void ClaimLongValueRows(PageSource& pages, Format format, std::span<const uint8_t> header, const std::string& owner,
                        PageClaims& claims, CheckReport& report) {
  const ByteReader reader(header, "long-value header");
  const uint32_t kind = reader.U32(0) & kLongValueKindMask;
  if (kind == kInline) return;
  uint32_t pointer = reader.U32(4);
  std::set<uint32_t> visited;
  while (pointer != 0 && visited.insert(pointer).second) {
    const uint32_t page = pointer >> 8;
    const auto row = static_cast<uint8_t>(pointer & 0xFF);
    claims.ClaimLongValueRow(page, row, owner, report);
    if (kind == kSingleRow) return;
    const RowSlot slot = ReadRowSlot(pages.Page(page), format, row);
    pointer = ByteReader(slot.bytes, "long-value chunk").U32(0);
  }
}

class RowChecker {
 public:
  RowChecker(PageSource& pages, Format format, uint16_t code_page, const TableDef& table, const std::string& name,
             PageClaims& claims, CheckReport& report)
      : pages_(pages), format_(format), table_(table), name_(name), claims_(claims), report_(report),
        context_{format, code_page, &pages} {}

  void CheckPage(uint32_t page_number, TableRows& found) {
    uint16_t slots = 0;
    try {
      const auto page = pages_.Page(page_number);
      const ByteReader reader(page, "data page");
      if (reader.U8(0) != 0x01 || reader.U32(4) != table_.definition_page) {
        report_.Add(Severity::kError, page_number, name_,
                    "the table's usage map lists a page that is not one of its data pages (type " +
                        std::to_string(reader.U8(0)) + ", owner " + std::to_string(reader.U32(4)) + ")");
        return;
      }
      slots = RowSlotCount(page, format_, table_.definition_page);
    } catch (const Error& error) {
      report_.Add(Severity::kError, page_number, name_, error.description());
      return;
    }
    claims_.Claim(page_number, PageUse::kData, name_, report_);
    for (uint16_t slot = 0; slot < slots; ++slot) CheckSlot(page_number, slot, found);
  }

 private:
  void CheckSlot(uint32_t page_number, uint16_t slot_index, TableRows& found) {
    const std::string where = "row " + std::to_string(slot_index);
    std::vector<uint8_t> bytes;
    try {
      const RowSlot slot = ReadRowSlot(pages_.Page(page_number), format_, slot_index);
      if (slot.state == RowSlot::State::kDeleted || slot.state == RowSlot::State::kForwardTarget) return;
      ++found.live_rows;
      if (slot.state == RowSlot::State::kForwarded) {
        bytes = ReadForwardedRow(pages_, format_, slot, table_.definition_page);
      } else {
        bytes.assign(slot.bytes.begin(), slot.bytes.end());
      }
    } catch (const Error& error) {
      report_.Add(Severity::kError, page_number, name_, where + ": " + error.description());
      return;
    }
    Row row;
    try {
      row = DecodeRow(table_, bytes, context_);
    } catch (const Error& error) {
      report_.Add(Severity::kError, page_number, name_, where + " does not decode: " + error.description());
      return;
    }
    try {
      ClaimLongValues(bytes, row);
    } catch (const Error& error) {
      report_.Add(Severity::kError, page_number, name_, where + ": its long values: " + error.description());
    }
    found.rows.emplace(RowPlace{page_number, slot_index}, std::move(row));
  }

  void ClaimLongValues(std::span<const uint8_t> bytes, const Row& row) {
    bool any = false;
    for (const ColumnDef& column : table_.columns) any = any || column.long_value();
    if (!any) return;
    const RowLayout layout = ReadRowLayout(table_, bytes, format_);
    for (size_t i = 0; i < table_.columns.size(); ++i) {
      const ColumnDef& column = table_.columns[i];
      if (!column.long_value() || IsNull(row[i])) continue;
      const auto stored = layout.ValueBytes(column);
      if (!stored || stored->size() < 12) continue;
      const std::vector<uint8_t> header(stored->begin(), stored->begin() + 12);
      ClaimLongValueRows(pages_, format_, header, name_ + "." + column.name, claims_, report_);
    }
  }

  PageSource& pages_;
  Format format_;
  const TableDef& table_;
  const std::string& name_;
  PageClaims& claims_;
  CheckReport& report_;
  DecodeContext context_;
};

}  // namespace

TableRows CheckTableRows(PageSource& pages, Format format, uint16_t code_page, const TableDef& table,
                         const std::string& name, PageClaims& claims, CheckReport& report) {
  TableRows found;
  for (uint32_t page : table.definition_pages) claims.Claim(page, PageUse::kDefinition, name, report);

  std::vector<uint32_t> data_pages;
  try {
    claims.Claim(table.owned_pages_pointer >> 8, PageUse::kUsageMap, name, report);
    data_pages = ReadUsageMap(pages, format, table.owned_pages_pointer).pages;
  } catch (const Error& error) {
    report.Add(Severity::kError, table.owned_pages_pointer >> 8, name,
               std::string("the usage map of the table's pages cannot be read: ") + error.description());
    return found;
  }
  RowChecker checker(pages, format, code_page, table, name, claims, report);
  for (uint32_t page : data_pages) {
    if (page >= pages.page_count()) {
      report.Add(Severity::kError, page, name, "the table's usage map lists a page past the end of the file");
      continue;
    }
    checker.CheckPage(page, found);
  }
  if (found.live_rows != table.row_count)
    report.Add(Severity::kWarning, table.definition_page, name,
               "the definition counts " + std::to_string(table.row_count) + " rows, the pages hold " +
                   std::to_string(found.live_rows));
  return found;
}

}  // namespace jet::check
