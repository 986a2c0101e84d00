#pragma once
// The rows of one table as another table stores them, for INSERT INTO ... SELECT: a value
// whose column keeps its type goes over as the bytes it is stored as, the others are decoded,
// converted and encoded one by one. Only what the general way (DecodeRow, ConvertForColumn,
// EncodeRow) would store comes out; a row the bytes cannot be carried for is left to it.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jet/common/page_source.h"
#include "jet/core/row_encoder.h"
#include "jet/core/table_def.h"
#include "jet/core/value.h"

namespace jet {

class RowTransform {
 public:
  // `source_of[t]` is the position in source.columns of the value target column t takes;
  // `required[t]` whether that column refuses a Null.
  RowTransform(const TableDef& source, const TableDef& target, const std::vector<int>& source_of,
               const std::vector<bool>& required, Format format, uint16_t code_page);

  // False when no row can be carried this way: every row takes the general way.
  bool usable() const { return usable_; }

  // Sets, in `builder` (cleared, of the target table), the target row made from the source
  // row `row`. False, with the builder left to be cleared, when this row must take the
  // general way: a text cut to its field, a value the general way would refuse, a text that
  // does not survive UTF-8. Long values are read from `pages`.
  bool Build(std::span<const uint8_t> row, PageSource& pages, RowBuilder& builder);

 private:
  enum class Kind { kBoolean, kFixed, kSingle, kDecimal, kText, kBinary, kMemo, kOle, kConverted };
  struct Plan {
    Kind kind = Kind::kConverted;
    size_t source = 0;  // position in source.columns
    bool required = false;
  };
  bool CarryNumber(const Plan& plan, size_t position, std::span<const uint8_t> bytes, RowBuilder& builder);
  bool Carry(const Plan& plan, size_t position, std::span<const uint8_t> bytes, PageSource& pages,
             RowBuilder& builder);

  const TableDef& source_;
  const TableDef& target_;
  Format format_;
  uint16_t code_page_;
  bool usable_ = false;
  std::vector<Plan> plans_;
  std::vector<Value> values_;  // converted values, alive until the builder's row is finished
  std::u16string units_;
};

}  // namespace jet
