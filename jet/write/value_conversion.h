#pragma once

#include <string>

#include "jet/core/table_def.h"
#include "jet/core/value.h"

namespace jet {

namespace conversion_err {
inline constexpr int32_t kDataTypeConversion = 3421;  // "Data type conversion error."
inline constexpr int32_t kNumericOverflow = 3349;     // "Numeric field overflow."
}  // namespace conversion_err

// A value as a field of `target` stores it, converted the way Jet converts in an action query:
// numbers to text as their shortest decimal form, text to numbers and dates by parsing
// (blanks around allowed), numbers narrowed with rounding half to even and refused with
// 3349 when out of range, Yes/No as -1 / 0, text cut to the field's size, dates as days
// since 1899-12-30. A value that has no such form raises 3421. Null stays Null.
Value ConvertForColumn(const Value& value, const ColumnDef& target, Format format);

// The text form of a value, as Jet gives it when a text field receives it.
std::string ValueAsText(const Value& value);

}  // namespace jet
