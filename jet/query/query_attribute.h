#pragma once

#include <cstdint>

namespace jet {

// What one MSysQueries row contributes to its query (QueryRow::attribute).
namespace query_attribute {
inline constexpr uint8_t kStart = 0;       // first row of every query
inline constexpr uint8_t kType = 1;        // Flag: query type; Name1: target table; Expression: SQL text
inline constexpr uint8_t kParameter = 2;   // Name1: parameter name; Flag: DAO data type
inline constexpr uint8_t kOptions = 3;     // Flag: option bits below; Name1: TOP value
inline constexpr uint8_t kTable = 5;       // Name1: table; Name2: alias; Expression: inline SELECT
inline constexpr uint8_t kColumn = 6;      // Expression; Name1: alias; Name2: target column
inline constexpr uint8_t kJoin = 7;        // Name1 / Name2: the joined tables; Expression: ON; Flag: kind
inline constexpr uint8_t kWhere = 8;
inline constexpr uint8_t kGroupBy = 9;
inline constexpr uint8_t kHaving = 10;
inline constexpr uint8_t kOrderBy = 11;    // Name1 "D" for descending
inline constexpr uint8_t kEnd = 255;       // last row of every query
}  // namespace query_attribute

// Flag of the kType row.
enum class QueryType : uint8_t {
  kSelect = 1,
  kMakeTable = 2,
  kAppend = 3,
  kUpdate = 4,
  kDelete = 5,
  kCrossTab = 6,
  kDataDefinition = 7,
  kPassThrough = 8,
  kUnion = 9,
};

// Bits of the kOptions row's Flag.
namespace query_option {
inline constexpr int16_t kSelectStar = 0x01;
inline constexpr int16_t kDistinct = 0x02;
inline constexpr int16_t kOwnerAccess = 0x04;
inline constexpr int16_t kDistinctRow = 0x08;
inline constexpr int16_t kTop = 0x10;
inline constexpr int16_t kPercent = 0x20;
// In a union query the options row says whether duplicates are removed: without this bit
// the parts are joined by UNION ALL.
inline constexpr int16_t kUnionDistinct = 0x02;
}  // namespace query_option

// Flag of a kJoin row.
namespace join_kind {
inline constexpr int16_t kInner = 1;
inline constexpr int16_t kLeft = 2;
inline constexpr int16_t kRight = 3;
}  // namespace join_kind

// Flag of kColumn and kGroupBy rows of a crosstab query: the part of the crosstab they form.
namespace crosstab_part {
inline constexpr int16_t kValue = 0;
inline constexpr int16_t kColumnHeading = 1;
inline constexpr int16_t kRowHeading = 2;
}  // namespace crosstab_part

}  // namespace jet
