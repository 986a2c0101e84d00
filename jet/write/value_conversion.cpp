#include "jet/write/value_conversion.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

#include "jet/common/error.h"
#include "jet/common/text_codec.h"
#include "jet/core/value_format.h"

namespace jet {
namespace {

[[noreturn]] void Mismatch() { throw Error(conversion_err::kDataTypeConversion, "Data type conversion error."); }
[[noreturn]] void Overflow() { throw Error(conversion_err::kNumericOverflow, "Numeric field overflow."); }

std::string Trimmed(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

// A number written in text: optional sign, digits, one decimal point (either '.' or ','),
// optional exponent. Anything else is not a number.
std::optional<double> ParseNumber(const std::string& raw) {
  std::string text = Trimmed(raw);
  if (text.empty()) return std::nullopt;
  for (char& c : text)
    if (c == ',') c = '.';
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
  // strtod also takes hexadecimal and "inf"; Jet does not.
  for (char c : text)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E'))
      return std::nullopt;
  return value;
}

// Days since 1899-12-30 of a civil date (proleptic Gregorian).
double DaysFromCivil(int year, int month, int day) {
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days_since_1970 = static_cast<long>(era) * 146097 + doe - 719468;
  return static_cast<double>(days_since_1970 + 25569);
}

bool ValidDate(int year, int month, int day) {
  if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (day > kDays[month - 1]) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return !(month == 2 && day == 29 && !leap);
}

// Dates as the program's sites write them: dd/mm/yyyy (or with '-' or '.'), or ISO
// yyyy-mm-dd, each optionally followed by hh:mm[:ss].
std::optional<DateTime> ParseDate(const std::string& raw) {
  const std::string text = Trimmed(raw);
  int a = 0, b = 0, c = 0, h = 0, m = 0, s = 0;
  char s1 = 0, s2 = 0;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c%d%n", &a, &s1, &b, &s2, &c, &consumed) < 5 || s1 != s2 ||
      (s1 != '/' && s1 != '-' && s1 != '.'))
    return std::nullopt;
  int year, month, day;
  if (a > 31) {
    year = a, month = b, day = c;
  } else {
    day = a, month = b, year = c;
    if (year < 100) year += year < 30 ? 2000 : 1900;
  }
  if (!ValidDate(year, month, day)) return std::nullopt;
  double days = DaysFromCivil(year, month, day);
  std::string rest = Trimmed(text.substr(static_cast<size_t>(consumed)));
  if (!rest.empty()) {
    if (!rest.empty() && (rest[0] == 'T' || rest[0] == 't')) rest = rest.substr(1);
    int got = std::sscanf(rest.c_str(), "%d:%d:%d", &h, &m, &s);
    if (got < 2 || h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return std::nullopt;
    const double fraction = (h * 3600 + m * 60 + s) / 86400.0;
    // Before 1899-12-30 the fraction still runs forward through the day.
    days = days >= 0 ? days + fraction : days - fraction;
  }
  return DateTime{days};
}

std::optional<double> AsNumber(const Value& value) {
  struct Visitor {
    std::optional<double> operator()(std::monostate) const { return std::nullopt; }
    std::optional<double> operator()(bool v) const { return v ? -1.0 : 0.0; }
    std::optional<double> operator()(uint8_t v) const { return v; }
    std::optional<double> operator()(int16_t v) const { return v; }
    std::optional<double> operator()(int32_t v) const { return v; }
    std::optional<double> operator()(Currency v) const { return static_cast<double>(v.ten_thousandths) / 10000.0; }
    std::optional<double> operator()(float v) const { return v; }
    std::optional<double> operator()(double v) const { return v; }
    std::optional<double> operator()(DateTime v) const { return v.days; }
    std::optional<double> operator()(const Binary&) const { Mismatch(); }
    std::optional<double> operator()(const std::string& v) const {
      auto number = ParseNumber(v);
      if (!number) Mismatch();
      return number;
    }
    std::optional<double> operator()(const Guid&) const { Mismatch(); }
    std::optional<double> operator()(const Decimal& v) const {
      const double magnitude = (static_cast<double>(v.hi) * 4294967296.0 + v.mid) * 4294967296.0 + v.lo;
      return (v.negative ? -magnitude : magnitude) / std::pow(10.0, v.scale);
    }
  };
  return std::visit(Visitor{}, value);
}

double RoundHalfEven(double value) {
  const double floor = std::floor(value);
  const double diff = value - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

int64_t Integral(double value, double low, double high) {
  const double rounded = RoundHalfEven(value);
  if (rounded < low || rounded > high) Overflow();
  return static_cast<int64_t>(rounded);
}

std::string TextOfDouble(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return buffer;
  }
  return FormatDouble(value);
}

std::string TextOfDate(DateTime value) {
  // dd/mm/yyyy, then the time when there is one: the general date form of the sites' locale.
  const std::string iso = FormatDateTime(value);  // yyyy-MM-ddTHH:mm:ss
  std::string text = iso.substr(8, 2) + "/" + iso.substr(5, 2) + "/" + iso.substr(0, 4);
  const std::string time = iso.substr(11);
  if (time != "00:00:00") text += " " + time;
  return text;
}

std::string CutToCharacters(const std::string& utf8, size_t characters) {
  size_t count = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
      if (count == characters) return utf8.substr(0, i);
      ++count;
    }
  }
  return utf8;
}

Decimal DecimalOf(double value, const ColumnDef& target) {
  Decimal decimal;
  decimal.precision = target.precision == 0 ? 18 : target.precision;
  decimal.scale = target.scale;
  decimal.negative = value < 0;
  const double scaled = RoundHalfEven(std::fabs(value) * std::pow(10.0, target.scale));
  if (scaled >= std::pow(10.0, decimal.precision)) Overflow();
  // Up to 18 digits fit 64 bits: the mid and low words carry them.
  const auto magnitude = static_cast<uint64_t>(scaled);
  decimal.lo = static_cast<uint32_t>(magnitude);
  decimal.mid = static_cast<uint32_t>(magnitude >> 32);
  decimal.hi = 0;
  return decimal;
}

// A decimal into a field of its own scale: its digits as they are. Through a double, as other
// numbers go, a value of more than 15 digits would come out changed.
Decimal SameScaleDecimal(const Decimal& value, const ColumnDef& target) {
  Decimal decimal = value;
  decimal.precision = target.precision == 0 ? 18 : target.precision;
  const std::string digits = FormatDecimal(Decimal{false, 0, 0, value.lo, value.mid, value.hi});
  if (digits == "0") decimal.negative = false;
  if (digits != "0" && digits.size() > decimal.precision) Overflow();
  return decimal;
}

}  // namespace

std::string ValueAsText(const Value& value) {
  struct Visitor {
    std::string operator()(std::monostate) const { return {}; }
    std::string operator()(bool v) const { return v ? "-1" : "0"; }
    std::string operator()(uint8_t v) const { return std::to_string(v); }
    std::string operator()(int16_t v) const { return std::to_string(v); }
    std::string operator()(int32_t v) const { return std::to_string(v); }
    std::string operator()(Currency v) const {
      std::string text = FormatCurrency(v);  // four places
      while (!text.empty() && text.back() == '0') text.pop_back();
      if (!text.empty() && text.back() == '.') text.pop_back();
      return text;
    }
    std::string operator()(float v) const { return FormatSingle(v); }
    std::string operator()(double v) const { return TextOfDouble(v); }
    std::string operator()(DateTime v) const { return TextOfDate(v); }
    std::string operator()(const Binary& v) const { return std::string(v.bytes.begin(), v.bytes.end()); }
    std::string operator()(const std::string& v) const { return v; }
    std::string operator()(const Guid& v) const { return FormatGuid(v); }
    std::string operator()(const Decimal& v) const { return FormatDecimal(v); }
  };
  return std::visit(Visitor{}, value);
}

Value ConvertForColumn(const Value& value, const ColumnDef& target, Format format) {
  if (IsNull(value)) return value;
  const auto type = static_cast<FieldType>(target.type);
  switch (type) {
    case FieldType::kText: {
      const size_t characters = format == Format::kJet4 ? target.length / 2u : target.length;
      return CutToCharacters(ValueAsText(value), characters);
    }
    case FieldType::kMemo:
      return ValueAsText(value);
    case FieldType::kBinary:
    case FieldType::kOle: {
      std::vector<uint8_t> bytes;
      if (const auto* binary = std::get_if<Binary>(&value)) {
        bytes = binary->bytes;
      } else if (const auto* text = std::get_if<std::string>(&value)) {
        bytes.assign(text->begin(), text->end());
      } else {
        Mismatch();
      }
      if (type == FieldType::kBinary && bytes.size() > target.length) bytes.resize(target.length);
      return Binary{bytes};
    }
    case FieldType::kGuid: {
      if (const auto* guid = std::get_if<Guid>(&value)) return *guid;
      Mismatch();
    }
    case FieldType::kBoolean: {
      if (const auto* text = std::get_if<std::string>(&value)) {
        const std::string t = Trimmed(*text);
        if (t == "True" || t == "true" || t == "Vero" || t == "Sì" || t == "Yes") return true;
        if (t == "False" || t == "false" || t == "Falso" || t == "No") return false;
      }
      const auto number = AsNumber(value);
      return *number != 0;
    }
    case FieldType::kDateTime: {
      if (const auto* date = std::get_if<DateTime>(&value)) return *date;
      if (const auto* text = std::get_if<std::string>(&value)) {
        if (auto date = ParseDate(*text)) return *date;
        if (auto number = ParseNumber(*text)) return DateTime{*number};
        Mismatch();
      }
      const double days = *AsNumber(value);
      if (days < -657434.0 || days > 2958465.99999) Overflow();
      return DateTime{days};
    }
    case FieldType::kByte: return static_cast<uint8_t>(Integral(*AsNumber(value), 0, 255));
    case FieldType::kInteger: return static_cast<int16_t>(Integral(*AsNumber(value), -32768, 32767));
    case FieldType::kLong: return static_cast<int32_t>(Integral(*AsNumber(value), -2147483648.0, 2147483647.0));
    case FieldType::kSingle: {
      const double number = *AsNumber(value);
      if (std::fabs(number) > std::numeric_limits<float>::max()) Overflow();
      return static_cast<float>(number);
    }
    case FieldType::kDouble:
      return *AsNumber(value);
    case FieldType::kCurrency: {
      if (const auto* currency = std::get_if<Currency>(&value)) return *currency;
      const double scaled = RoundHalfEven(*AsNumber(value) * 10000.0);
      if (std::fabs(scaled) >= 9.2233720368547e18) Overflow();
      return Currency{static_cast<int64_t>(scaled)};
    }
    case FieldType::kNumeric:
      if (const auto* decimal = std::get_if<Decimal>(&value); decimal && decimal->scale == target.scale)
        return SameScaleDecimal(*decimal, target);
      return DecimalOf(*AsNumber(value), target);
  }
  Mismatch();
}

}  // namespace jet
