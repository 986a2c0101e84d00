#include "jet/write/value_conversion.h"

#include <gtest/gtest.h>

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
