#include "jet/write/value_conversion.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <vector>

#include "jet/common/error.h"

namespace jet {
namespace {

ColumnDef Column(FieldType type, uint16_t length = 0) {
  ColumnDef column;
  column.type = static_cast<uint8_t>(type);
  column.length = length;
  return column;
}

int32_t ErrorOf(const Value& value, const ColumnDef& column) {
  try {
    ConvertForColumn(value, column, Format::kJet4);
  } catch (const Error& error) {
    return error.number();
  }
  return 0;
}

TEST(ValueConversion, NumbersAndTextConvertBothWaysAsJetDoes) {
  EXPECT_EQ(ConvertForColumn(int32_t{42}, Column(FieldType::kText, 20), Format::kJet4), Value{std::string("42")});
  EXPECT_EQ(ConvertForColumn(3.5, Column(FieldType::kText, 20), Format::kJet4), Value{std::string("3.5")});
  EXPECT_EQ(ConvertForColumn(true, Column(FieldType::kText, 20), Format::kJet4), Value{std::string("-1")});
  EXPECT_EQ(ConvertForColumn(std::string(" 123 "), Column(FieldType::kLong), Format::kJet4), Value{int32_t{123}});
  EXPECT_EQ(ConvertForColumn(std::string("2,5"), Column(FieldType::kDouble), Format::kJet4), Value{2.5});
  EXPECT_EQ(ConvertForColumn(2.5, Column(FieldType::kInteger), Format::kJet4), Value{int16_t{2}}) << "half to even";
  EXPECT_EQ(ConvertForColumn(3.5, Column(FieldType::kInteger), Format::kJet4), Value{int16_t{4}});
  EXPECT_EQ(ConvertForColumn(std::string("1,25"), Column(FieldType::kCurrency), Format::kJet4), Value{Currency{12500}});
  EXPECT_EQ(ConvertForColumn(int16_t{0}, Column(FieldType::kBoolean), Format::kJet4), Value{false});
}

TEST(ValueConversion, NarrowingAndBadTextAreRefused) {
  EXPECT_EQ(ErrorOf(int32_t{300}, Column(FieldType::kByte)), conversion_err::kNumericOverflow);
  EXPECT_EQ(ErrorOf(int32_t{-1}, Column(FieldType::kByte)), conversion_err::kNumericOverflow);
  EXPECT_EQ(ErrorOf(int32_t{40000}, Column(FieldType::kInteger)), conversion_err::kNumericOverflow);
  EXPECT_EQ(ErrorOf(1e12, Column(FieldType::kLong)), conversion_err::kNumericOverflow);
  EXPECT_EQ(ErrorOf(std::string("abc"), Column(FieldType::kLong)), conversion_err::kDataTypeConversion);
  EXPECT_EQ(ErrorOf(std::string("0x10"), Column(FieldType::kLong)), conversion_err::kDataTypeConversion);
  EXPECT_EQ(ErrorOf(std::string("31/02/2020"), Column(FieldType::kDateTime)), conversion_err::kDataTypeConversion);
  EXPECT_EQ(ErrorOf(Binary{{1, 2}}, Column(FieldType::kLong)), conversion_err::kDataTypeConversion);
}

TEST(ValueConversion, TextIsCutToTheFieldAndDatesParse) {
  EXPECT_EQ(ConvertForColumn(std::string("abcdefghij"), Column(FieldType::kText, 8), Format::kJet4),
            Value{std::string("abcd")});
  EXPECT_EQ(ConvertForColumn(std::string("àèìòù"), Column(FieldType::kText, 3), Format::kJet3),
            Value{std::string("àèì")}) << "cut by characters, not bytes";
  EXPECT_EQ(ConvertForColumn(std::string("21/09/1974"), Column(FieldType::kDateTime), Format::kJet4),
            Value{DateTime{27293}});
  EXPECT_EQ(ConvertForColumn(std::string("1974-09-21 12:00"), Column(FieldType::kDateTime), Format::kJet4),
            Value{DateTime{27293.5}});
  EXPECT_EQ(ConvertForColumn(DateTime{27293.5}, Column(FieldType::kText, 40), Format::kJet4),
            Value{std::string("21/09/1974 12:00:00")});
  EXPECT_TRUE(IsNull(ConvertForColumn(Value{}, Column(FieldType::kLong), Format::kJet4)));
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

// Every pair of the field types a copy meets: a value that fits converts, and a value the
// target cannot hold is refused with Jet's number, never stored wrong.
TEST(ValueConversion, EveryPairOfFieldTypesHasItsSuccessAndItsRefusal) {
  struct Source {
    FieldType type;
    Value fits;
    std::optional<Value> too_big;  // out of range for narrower numbers, or no number at all
  };
  const std::vector<Source> sources = {
      {FieldType::kBoolean, false, true},  // Yes is -1, which a Byte cannot hold
      {FieldType::kByte, uint8_t{1}, std::nullopt},
      {FieldType::kInteger, int16_t{1}, int16_t{30000}},
      {FieldType::kLong, int32_t{1}, int32_t{100000}},
      {FieldType::kCurrency, Currency{10000}, Currency{int64_t{10000} * 10000000000}},
      {FieldType::kSingle, 1.5f, 1e20f},
      {FieldType::kDouble, 1.5, 1e300},
      {FieldType::kDateTime, DateTime{2}, DateTime{100000}},
      {FieldType::kText, std::string("1"), std::string("abc")},
      {FieldType::kMemo, std::string("1"), std::string("abc")},
  };
  // The largest magnitude each numeric target holds.
  const std::map<FieldType, double> range = {{FieldType::kByte, 255},          {FieldType::kInteger, 32767},
                                             {FieldType::kLong, 2147483647.0}, {FieldType::kCurrency, 9.2e14},
                                             {FieldType::kSingle, 3.4e38},     {FieldType::kDouble, 1.7e308},
                                             {FieldType::kDateTime, 2958465}};
  const auto magnitude = [](const Value& value) -> std::optional<double> {
    if (const auto* v = std::get_if<bool>(&value)) return *v ? -1.0 : 0.0;
    if (const auto* v = std::get_if<int16_t>(&value)) return *v;
    if (const auto* v = std::get_if<int32_t>(&value)) return *v;
    if (const auto* v = std::get_if<Currency>(&value)) return v->ten_thousandths / 10000.0;
    if (const auto* v = std::get_if<float>(&value)) return *v;
    if (const auto* v = std::get_if<double>(&value)) return *v;
    if (const auto* v = std::get_if<DateTime>(&value)) return v->days;
    return std::nullopt;
  };
  int pairs = 0, refusals = 0;
  for (const Source& source : sources) {
    for (const Source& target : sources) {
      SCOPED_TRACE(std::to_string(static_cast<int>(source.type)) + " -> " +
                   std::to_string(static_cast<int>(target.type)));
      const ColumnDef column = Column(target.type, 100);
      ++pairs;
      // Text that is a number for number targets, a date for date targets.
      Value fits = source.fits;
      if (std::holds_alternative<std::string>(fits) && target.type == FieldType::kDateTime) fits = std::string("21/09/1974");
      EXPECT_EQ(ErrorOf(fits, column), 0);
      if (!source.too_big) continue;
      const bool text_target = target.type == FieldType::kText || target.type == FieldType::kMemo;
      int32_t expected = 0;
      if (text_target || target.type == FieldType::kBoolean) {
        expected = 0;  // any number has a text form and a truth value; text "abc" is text
        if (target.type == FieldType::kBoolean && std::holds_alternative<std::string>(*source.too_big))
          expected = conversion_err::kDataTypeConversion;
      } else if (std::holds_alternative<std::string>(*source.too_big)) {
        expected = conversion_err::kDataTypeConversion;
      } else if (const double m = *magnitude(*source.too_big);
                 m > range.at(target.type) || (target.type == FieldType::kByte && m < 0)) {
        expected = conversion_err::kNumericOverflow;
      }
      const int32_t got = ErrorOf(*source.too_big, column);
      EXPECT_EQ(got, expected);
      refusals += got != 0;
    }
  }
  EXPECT_EQ(pairs, 100);
  EXPECT_GT(refusals, 30);
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

ColumnDef DecimalColumn(uint8_t precision, uint8_t scale) {
  ColumnDef column;
  column.type = static_cast<uint8_t>(FieldType::kNumeric);
  column.precision = precision;
  column.scale = scale;
  return column;
}

// A decimal copied into a field of its scale keeps every digit (through a double, the 18-digit
// value below came out as ...680); one with more digits than the field takes overflows.
TEST(ValueConversion, DecimalsOfTheFieldsScaleKeepEveryDigit) {
  const uint64_t digits18 = 123456789012345678u;
  const Decimal big{true, 18, 2, static_cast<uint32_t>(digits18), static_cast<uint32_t>(digits18 >> 32), 0};
  const Value copied = ConvertForColumn(big, DecimalColumn(18, 2), Format::kJet4);
  EXPECT_EQ(copied, Value{big});
  EXPECT_EQ(ConvertForColumn(big, DecimalColumn(0, 2), Format::kJet4), Value{big}) << "precision 0 is 18";
  EXPECT_EQ(ErrorOf(big, DecimalColumn(17, 2)), conversion_err::kNumericOverflow);
  const Decimal negative_zero{true, 10, 2, 0, 0, 0};
  const Decimal zero{false, 10, 2, 0, 0, 0};
  EXPECT_EQ(ConvertForColumn(negative_zero, DecimalColumn(10, 2), Format::kJet4), Value{zero});
  // Another scale still converts through the number.
  const Decimal hundredths{false, 10, 2, 12345, 0, 0}, tenths{false, 10, 1, 1234, 0, 0};
  EXPECT_EQ(ConvertForColumn(hundredths, DecimalColumn(10, 1), Format::kJet4), Value{tenths});
}

}  // namespace
}  // namespace jet
