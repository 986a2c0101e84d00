#include "jet/core/value_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "jet/common/error.h"
#include "jet/common/text_codec.h"

namespace jet {
namespace {

struct CivilDate {
  int64_t year;
  unsigned month, day;
};

// Proleptic Gregorian date of a day count relative to 1970-01-01, by whole 400-year eras
// (146097 days each) so that negative counts need no special case.
CivilDate CivilFromUnixDays(int64_t days) {
  days += 719468;  // from 0000-03-01, so that leap days fall at the end of a year
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;  // 0 = March
  CivilDate date;
  date.day = static_cast<unsigned>(day_of_year - (153 * month_index + 2) / 5 + 1);
  date.month = static_cast<unsigned>(month_index < 10 ? month_index + 3 : month_index - 9);
  date.year = year_of_era + era * 400 + (date.month <= 2 ? 1 : 0);
  return date;
}

constexpr int64_t kUnixDaysOf18991230 = -25569;

// Divides a 96-bit magnitude (three words, most significant first) by 10 in place; returns
// the remainder.
unsigned DivideBy10(uint32_t words[3]) {
  uint64_t remainder = 0;
  for (int i = 0; i < 3; ++i) {
    const uint64_t current = (remainder << 32) | words[i];
    words[i] = static_cast<uint32_t>(current / 10);
    remainder = current % 10;
  }
  return static_cast<unsigned>(remainder);
}

// Digits of an unsigned magnitude with `scale` of them after the point.
std::string PlaceDecimalPoint(std::string digits, unsigned scale) {
  if (scale == 0) return digits;
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  digits.insert(digits.size() - scale, 1, '.');
  return digits;
}

template <typename Number>
std::string Shortest(Number value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

std::string FormatDateTime(DateTime value) {
  // Whole days count towards zero, so every value strictly between these lies in the years
  // 100 (day -657434 is 100-01-01) to 9999 (day 2958465 is 9999-12-31).
  if (!(value.days > -657435.0 && value.days < 2958466.0)) {
    throw Error(codec_err::kDataTypeConversion, "Data type conversion error: date value " +
                                                    Shortest(value.days) + " is outside the years 100 to 9999.");
  }
  int64_t day = static_cast<int64_t>(std::trunc(value.days));
  const double fraction = std::fabs(value.days - static_cast<double>(day));
  // To the millisecond first (the stored double rarely hits a whole second), then drop the
  // milliseconds: that is the form the sample dumps show (23:46:10.84 reads 23:46:10).
  int64_t seconds = std::llround(fraction * 86400000.0) / 1000;
  if (seconds >= 86400) {
    // Rounding reached the next midnight: for a negative count that day is one step back
    // towards the epoch, which is still "+1" on the calendar.
    seconds -= 86400;
    day += 1;
  }
  const CivilDate date = CivilFromUnixDays(day + kUnixDaysOf18991230);
  char buffer[64];  // room for any year the compiler can imagine, so no warning of truncation
  std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02lld:%02lld:%02lld", static_cast<long long>(date.year),
                date.month, date.day, static_cast<long long>(seconds / 3600), static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60));
  return buffer;
}

std::string FormatCurrency(Currency value) {
  const bool negative = value.ten_thousandths < 0;
  // Negate in unsigned arithmetic so that the most negative amount has a magnitude too.
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(value.ten_thousandths) : static_cast<uint64_t>(value.ten_thousandths);
  std::string text = PlaceDecimalPoint(std::to_string(magnitude), 4);
  return negative ? "-" + text : text;
}

std::string FormatDecimal(const Decimal& value) {
  uint32_t words[3] = {value.hi, value.mid, value.lo};
  std::string digits;
  while (words[0] != 0 || words[1] != 0 || words[2] != 0) digits.insert(digits.begin(), static_cast<char>('0' + DivideBy10(words)));
  const bool zero = digits.empty();
  if (zero) digits = "0";
  std::string text = PlaceDecimalPoint(digits, value.scale);
  return value.negative && !zero ? "-" + text : text;
}

std::string FormatBinary(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text = "hex:";
  text.reserve(4 + 2 * bytes.size());
  for (uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

std::string FormatGuid(const Guid& value) {
  const uint8_t* b = value.bytes;
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3], b[2],
                b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return buffer;
}

std::string FormatSingle(float value) { return Shortest(value); }
std::string FormatDouble(double value) { return Shortest(value); }

}  // namespace jet
