#pragma once

#include <bitset>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "jet/common/page_source.h"
#include "jet/core/table_def.h"

namespace jet {

// Which long-value pages a table's rows alone use, found when the table is dropped. Long-value
// pages name no owner, so they are found from the rows: every memo and OLE value kept outside
// its row is followed to its LVAL rows. A page is the table's only when every live row on it
// was reached that way; one that also holds another row (another table's value, a value a
// damaged row no longer names) stays allocated. Damaged headers and chains are not raised:
// what they would have reached is simply not freed.
class LongValueReach {
 public:
  explicit LongValueReach(const TableDef& table);

  // Whether the table has memo or OLE fields at all: without them there is nothing to do.
  bool needed() const { return !long_columns_.empty(); }
  // The stored bytes of one row of the table (not a forwarding stub).
  void AddRow(std::span<const uint8_t> row);
  // Every row on one of the table's data pages; a page that cannot be read is skipped.
  void AddDataPage(std::span<const uint8_t> page);
  // Follows the chains the rows start, then gives, ascending, the long-value pages whose live
  // rows were all reached.
  std::vector<uint32_t> PagesOnlyTheseRowsUse(PageSource& pages);

 private:
  // Marks a row reached; false when it already was.
  bool Reach(uint32_t pointer);

  const TableDef& table_;
  std::vector<const ColumnDef*> long_columns_;
  std::unordered_map<uint32_t, std::bitset<256>> reached_;  // by page, a bit per row
  std::vector<uint32_t> chain_starts_;
};

}  // namespace jet
