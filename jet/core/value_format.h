#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "jet/core/value.h"

namespace jet {

// The text forms in which values are shown and dumped.

// "yyyy-MM-ddTHH:mm:ss": to the nearest millisecond, then without the milliseconds. Days before 1899-12-30 count
// backwards while their fraction still moves forward through the day (-1.25 is
// 1899-12-29T06:00:00). Raises codec_err::kDataTypeConversion for a value outside the years
// 100-9999 that Access allows (or not a number at all).
std::string FormatDateTime(DateTime value);

// Decimal string with exactly four places: "3.5000", "-94.4300".
std::string FormatCurrency(Currency value);

// The exact decimal value with `scale` places: "1", "-1", "12.50".
std::string FormatDecimal(const Decimal& value);

// "hex:" followed by two lowercase digits per byte.
std::string FormatBinary(std::span<const uint8_t> bytes);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", the first three groups read little-endian.
std::string FormatGuid(const Guid& value);

// The shortest text that reads back as the same number ("804983.4" for a Single, not the
// digits of its widened double).
std::string FormatSingle(float value);
std::string FormatDouble(double value);

}  // namespace jet
