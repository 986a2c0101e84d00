#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace jet {

// Field types as DAO numbers them (TableDef.Fields(i).Type); the same byte is stored in the
// column descriptor of the table definition.
enum class FieldType : uint8_t {
  kBoolean = 1,
  kByte = 2,
  kInteger = 3,
  kLong = 4,
  kCurrency = 5,
  kSingle = 6,
  kDouble = 7,
  kDateTime = 8,
  kBinary = 9,
  kText = 10,
  kOle = 11,
  kMemo = 12,
  kGuid = 15,
  kNumeric = 16,  // Jet 4 decimal
};

// Currency: a 64-bit count of ten-thousandths, exactly as stored.
struct Currency {
  int64_t ten_thousandths = 0;
  bool operator==(const Currency&) const = default;
};

// Date/Time: days since 1899-12-30 with the time of day as the fraction, as stored.
struct DateTime {
  double days = 0;
  bool operator==(const DateTime&) const = default;
};

// Decimal: sign, scale and a 96-bit unsigned magnitude (low, mid, high words), as stored.
struct Decimal {
  bool negative = false;
  uint8_t precision = 0;
  uint8_t scale = 0;
  uint32_t lo = 0, mid = 0, hi = 0;
  bool operator==(const Decimal&) const = default;
};

struct Guid {
  uint8_t bytes[16] = {};
  bool operator==(const Guid&) const = default;
};

struct Binary {
  std::vector<uint8_t> bytes;
  bool operator==(const Binary&) const = default;
};

// One field value of a row. Text (text and memo fields) is UTF-8. Null is monostate.
using Value = std::variant<std::monostate, bool, uint8_t, int16_t, int32_t, Currency, float, double, DateTime,
                           Binary, std::string, Guid, Decimal>;

inline bool IsNull(const Value& v) { return std::holds_alternative<std::monostate>(v); }

using Row = std::vector<Value>;

}  // namespace jet
