#pragma once

// The bytes Access writes as the key of an index entry: per index column a flag byte, then
// the value encoded so that comparing keys as unsigned byte strings gives the index order.

#include <cstdint>
#include <vector>

#include "jet/common/format.h"
#include "jet/core/table_def.h"
#include "jet/core/value.h"

namespace jet {

namespace key_err {
// A value the index key cannot carry: a type Access does not index, or a value whose kind
// does not belong to its column.
inline constexpr int32_t kUnsupportedKey = 3251;  // "Operation is not supported for this type of object."
}  // namespace key_err

// The flag byte that starts each column's part of a key. Nulls carry no value bytes, so they
// sort before every value ascending and after every value descending.
namespace key_flag {
inline constexpr uint8_t kAscending = 0x7F;
inline constexpr uint8_t kAscendingNull = 0x00;
inline constexpr uint8_t kDescending = 0x80;
inline constexpr uint8_t kDescendingNull = 0xFF;
}  // namespace key_flag

// The whole key of `row` (one Value per entry of table.columns, in that order) in `index`.
// Raises key_err::kUnsupportedKey for an index column the table does not have, or a value the
// key cannot carry.
std::vector<uint8_t> EncodeIndexKey(const TableDef& table, const RealIndexDef& index, const Row& row,
                                    Format format);

// One column's part: flag byte, then the value bytes (inverted when descending).
void AppendColumnKey(std::vector<uint8_t>& key, const ColumnDef& column, const Value& value, bool ascending,
                     Format format);

// The value bytes of one non-null value in ascending order, without the flag byte.
std::vector<uint8_t> EncodeValueKey(const ColumnDef& column, const Value& value, Format format);

// Fixed-size values: big-endian with the sign flipped, so unsigned byte order is value order.
std::vector<uint8_t> IntegerKey(int64_t value, int width_bytes);
std::vector<uint8_t> FloatKey(double value);   // 8 bytes; Date/Time uses it too
std::vector<uint8_t> SingleKey(float value);   // 4 bytes
std::vector<uint8_t> BooleanKey(bool value);   // 1 byte: true sorts first (it is -1)
std::vector<uint8_t> GuidKey(const Guid& value);
std::vector<uint8_t> BinaryKey(const std::vector<uint8_t>& bytes);

}  // namespace jet
