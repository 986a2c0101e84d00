#include "jet/check/index_check.h"

#include <algorithm>
#include <set>
#include <vector>

#include "jet/common/error.h"
#include "jet/core/usage_map.h"
#include "jet/index/index_page.h"
#include "jet/index/index_reader.h"
#include "jet/index/key_encoder.h"

namespace jet::check {
namespace {

// A damaged index can be wrong in every entry; a handful of findings says as much as thousands.
constexpr size_t kMaxFindingsPerIndex = 20;

class IndexFindings {
 public:
  IndexFindings(CheckReport& report, std::string table, std::string index)
      : report_(report), table_(std::move(table)), index_(std::move(index)) {}
  ~IndexFindings() {
    if (dropped_ > 0)
      report_.Add(Severity::kError, 0, table_, index_ + ": " + std::to_string(dropped_) + " more findings like these");
  }
  IndexFindings(const IndexFindings&) = delete;
  IndexFindings& operator=(const IndexFindings&) = delete;

  void Error(uint32_t page, const std::string& text) { Add(Severity::kError, page, text); }
  void Warning(uint32_t page, const std::string& text) { Add(Severity::kWarning, page, text); }

 private:
  void Add(Severity severity, uint32_t page, const std::string& text) {
    if (added_ >= kMaxFindingsPerIndex) {
      ++dropped_;
      return;
    }
    ++added_;
    report_.Add(severity, page, table_, index_ + ": " + text);
  }
  CheckReport& report_;
  std::string table_, index_;
  size_t added_ = 0, dropped_ = 0;
};

std::string Place(uint32_t page, uint32_t row) { return std::to_string(page) + "/" + std::to_string(row); }

bool AllIndexColumnsNull(const TableDef& table, const RealIndexDef& index, const Row& row) {
  for (const IndexColumnDef& part : index.columns)
    for (size_t i = 0; i < table.columns.size() && i < row.size(); ++i)
      if (table.columns[i].number == part.column_number && !IsNull(row[i])) return false;
  return true;
}

bool AnyIndexColumnNull(const TableDef& table, const RealIndexDef& index, const Row& row) {
  for (const IndexColumnDef& part : index.columns)
    for (size_t i = 0; i < table.columns.size() && i < row.size(); ++i)
      if (table.columns[i].number == part.column_number && IsNull(row[i])) return true;
  return false;
}

// What a DAO user calls the index: the logical indexes that use this real one.
std::string IndexName(const TableDef& table, size_t real_index) {
  std::string names;
  for (const LogicalIndexDef& logical : table.indexes) {
    if (logical.real_index != real_index) continue;
    names += (names.empty() ? "" : ", ") + logical.name;
  }
  return "index " + std::to_string(real_index) + (names.empty() ? "" : " (" + names + ")");
}

// Page-level facts the cursor does not need: sibling links of the leaves in key order, and the
// free-space field, which Access keeps equal to the room after the last entry.
void CheckTreePages(PageSource& pages, Format format, const IndexCursor& cursor, IndexFindings& findings) {
  for (uint32_t number : cursor.pages_read()) {
    const IndexPage page = ParseIndexPage(pages.Page(number), format, number);
    if (page.free_space != pages.page_size() - page.used_end)
      findings.Error(number, "the page says " + std::to_string(page.free_space) + " bytes are free, its entries leave " +
                                 std::to_string(pages.page_size() - page.used_end));
  }
  const std::vector<uint32_t>& leaves = cursor.leaf_pages_read();
  for (size_t i = 0; i < leaves.size(); ++i) {
    const IndexPage page = ParseIndexPage(pages.Page(leaves[i]), format, leaves[i]);
    const uint32_t previous = i == 0 ? 0 : leaves[i - 1];
    const uint32_t next = i + 1 == leaves.size() ? 0 : leaves[i + 1];
    if (page.previous_page != previous)
      findings.Error(leaves[i], "the leaf names page " + std::to_string(page.previous_page) +
                                    " as the one before it; the tree puts page " + std::to_string(previous) + " there");
    if (page.next_page != next)
      findings.Error(leaves[i], "the leaf names page " + std::to_string(page.next_page) +
                                    " as the one after it; the tree puts page " + std::to_string(next) + " there");
  }
}

void CheckUsageMap(PageSource& pages, Format format, const RealIndexDef& index, const IndexCursor& cursor,
                   IndexFindings& findings) {
  std::vector<uint32_t> mapped;
  try {
    mapped = ReadUsageMap(pages, format, index.usage_map_pointer).pages;
  } catch (const jet::Error& error) {
    findings.Error(index.usage_map_pointer >> 8, std::string("its usage map cannot be read: ") + error.description());
    return;
  }
  for (uint32_t page : cursor.pages_read())
    if (!std::binary_search(mapped.begin(), mapped.end(), page))
      findings.Error(page, "the tree uses a page its usage map does not list");
}

}  // namespace

void CheckRealIndex(PageSource& pages, Format format, const TableDef& table, size_t real_index, const std::string& name,
                    const TableRows& rows, PageClaims& claims, CheckReport& report) {
  const RealIndexDef& index = table.real_indexes[real_index];
  const std::string index_name = IndexName(table, real_index);
  IndexFindings findings(report, name, index_name);

  IndexCursor cursor(pages, format, index.first_page, table.definition_page);
  std::vector<IndexEntry> entries;
  try {
    for (IndexEntry entry; cursor.Next(entry);) entries.push_back(std::move(entry));
  } catch (const jet::Error& error) {
    for (uint32_t page : cursor.pages_read()) claims.Claim(page, PageUse::kIndex, name + " " + index_name, report);
    findings.Error(index.first_page, std::string("the tree cannot be read: ") + error.description());
    return;
  }
  for (uint32_t page : cursor.pages_read()) claims.Claim(page, PageUse::kIndex, name + " " + index_name, report);
  report.index_entries_checked += static_cast<uint32_t>(entries.size());
  try {
    CheckTreePages(pages, format, cursor, findings);
  } catch (const jet::Error& error) {  // the pages parsed a moment ago: only a changing source gets here
    findings.Error(index.first_page, error.description());
  }
  CheckUsageMap(pages, format, index, cursor, findings);

  const bool ignore_nulls = (index.flags & index_flag::kIgnoreNulls) != 0;
  const bool unique = (index.flags & index_flag::kUnique) != 0;
  std::set<RowPlace> pointed;
  for (size_t i = 0; i < entries.size(); ++i) {
    const IndexEntry& entry = entries[i];
    const RowPlace place{entry.data_page, entry.data_row};
    if (i > 0 && KeyLess(entry.key, entries[i - 1].key))
      findings.Error(entry.data_page, "entry " + std::to_string(i) + " sorts before the entry ahead of it");
    if (!pointed.insert(place).second)
      findings.Error(entry.data_page, "two entries point at row " + Place(entry.data_page, entry.data_row));
    const auto row = rows.rows.find(place);
    if (row == rows.rows.end()) {
      findings.Error(entry.data_page, "entry " + std::to_string(i) + " points at " + Place(entry.data_page, entry.data_row) +
                                          ", which is no live row of the table");
      continue;
    }
    if (unique && i > 0 && entry.key == entries[i - 1].key && !AnyIndexColumnNull(table, index, row->second))
      findings.Error(entry.data_page, "the index is unique but holds two entries for one key");
    std::vector<uint8_t> expected;
    try {
      expected = EncodeIndexKey(table, index, row->second, format);
    } catch (const jet::Error&) {
      continue;  // a value the key encoder cannot yet build: nothing to compare with
    }
    ++report.keys_compared;
    if (expected != entry.key)
      findings.Error(entry.data_page, "the key of the entry for row " + Place(entry.data_page, entry.data_row) +
                                          " is not the key of the row's values");
  }

  for (const auto& [place, values] : rows.rows) {
    if (pointed.count(place) || (ignore_nulls && AllIndexColumnsNull(table, index, values))) continue;
    findings.Error(place.first, "row " + Place(place.first, place.second) + " has no entry in the index");
  }
}

}  // namespace jet::check
