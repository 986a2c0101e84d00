// Key forms the samples do not cover on their own: extremes, ordering over many values,
// binary lengths around the group size, and refusals.

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

#include "jet/common/error.h"
#include "jet/index/key_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

jet::ColumnDef Column(jet::FieldType type, uint16_t number = 0) {
  jet::ColumnDef c;
  c.name = "c" + std::to_string(number);
  c.type = static_cast<uint8_t>(type);
  c.number = number;
  return c;
}

// Sorting values and sorting their keys as byte strings must give the same order.
template <typename T, typename Encode>
void ExpectKeyOrderIsValueOrder(std::vector<T> values, Encode encode) {
  std::sort(values.begin(), values.end());
  for (size_t i = 1; i < values.size(); ++i) {
    const Bytes a = encode(values[i - 1]), b = encode(values[i]);
    if (values[i - 1] < values[i]) {
      EXPECT_LT(a, b) << +values[i - 1] << " vs " << +values[i];
    } else {
      EXPECT_EQ(a, b);
    }
  }
}

TEST(KeyEncoder, IntegersOrderAcrossTheSignAndAtTheExtremes) {
  std::mt19937 rng(7);
  std::vector<int32_t> longs = {std::numeric_limits<int32_t>::min(), -1, 0, 1, std::numeric_limits<int32_t>::max()};
  for (int i = 0; i < 500; ++i) longs.push_back(static_cast<int32_t>(rng()));
  ExpectKeyOrderIsValueOrder(longs, [](int32_t v) { return jet::IntegerKey(v, 4); });
  EXPECT_EQ(jet::IntegerKey(std::numeric_limits<int16_t>::min(), 2), (Bytes{0x00, 0x00}));
  EXPECT_EQ(jet::IntegerKey(-1, 8), (Bytes{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(KeyEncoder, FloatsOrderThroughNegativesZeroAndInfinities) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> wide(-1e12, 1e12);
  std::vector<double> doubles = {-std::numeric_limits<double>::infinity(), -1e-300, 0.0, 1e-300,
                                 std::numeric_limits<double>::max(), std::numeric_limits<double>::infinity()};
  for (int i = 0; i < 500; ++i) doubles.push_back(wide(rng));
  ExpectKeyOrderIsValueOrder(doubles, [](double v) { return jet::FloatKey(v); });
  std::vector<float> singles = {-3.5f, -0.25f, 0.0f, 1e-30f, 2.0f, 1e30f};
  ExpectKeyOrderIsValueOrder(singles, [](float v) { return jet::SingleKey(v); });
  // Negative zero is a different stored value; it lands just below positive zero.
  EXPECT_LT(jet::FloatKey(-0.0), jet::FloatKey(0.0));
  EXPECT_GT(jet::FloatKey(-0.0), jet::FloatKey(-1e-300));
}

TEST(KeyEncoder, BinaryGroupsAroundTheGroupSize) {
  EXPECT_EQ(jet::BinaryKey({}), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(jet::BinaryKey({1, 2, 3}), (Bytes{1, 2, 3, 0, 0, 0, 0, 0, 3}));
  EXPECT_EQ(jet::BinaryKey({1, 2, 3, 4, 5, 6, 7, 8}), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 8}));
  EXPECT_EQ(jet::BinaryKey({1, 2, 3, 4, 5, 6, 7, 8, 9}),
            (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 0, 0, 0, 0, 0, 0, 0, 1}));
  // A value sorts before any longer value it begins, even one continuing with zeros.
  EXPECT_LT(jet::BinaryKey({5, 0}), jet::BinaryKey({5, 0, 0}));
  EXPECT_LT(jet::BinaryKey({1, 2, 3, 4, 5, 6, 7, 8}), jet::BinaryKey({1, 2, 3, 4, 5, 6, 7, 8, 0}));
}

TEST(KeyEncoder, DescendingInvertsValuesButKeepsBinaryContinuationMarkers) {
  const jet::ColumnDef binary = Column(jet::FieldType::kBinary);
  Bytes key;
  jet::AppendColumnKey(key, binary, jet::Binary{{1, 2, 3, 4, 5, 6, 7, 8, 9}}, false, jet::Format::kJet4);
  EXPECT_EQ(key, (Bytes{0x80, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8, 0xF7, 0x09, 0xF6, 0xFF, 0xFF, 0xFF, 0xFF,
                        0xFF, 0xFF, 0xFF, 0xFE}));
  key.clear();
  jet::AppendColumnKey(key, Column(jet::FieldType::kLong), int32_t{1}, false, jet::Format::kJet4);
  EXPECT_EQ(key, (Bytes{0x80, 0x7F, 0xFF, 0xFF, 0xFE}));
}

TEST(KeyEncoder, NullsCarryOnlyTheirFlagAndSortAtTheAscendingStart) {
  jet::TableDef table;
  table.columns = {Column(jet::FieldType::kLong, 3), Column(jet::FieldType::kInteger, 1)};
  jet::RealIndexDef index;
  index.columns = {{1, true}, {3, false}};  // by column number, not by position
  EXPECT_EQ(jet::EncodeIndexKey(table, index, {std::monostate{}, int16_t{2}}, jet::Format::kJet4),
            (Bytes{0x7F, 0x80, 0x02, 0xFF}));
  EXPECT_EQ(jet::EncodeIndexKey(table, index, {int32_t{0}, std::monostate{}}, jet::Format::kJet4),
            (Bytes{0x00, 0x80, 0x7F, 0xFF, 0xFF, 0xFF}));
  Bytes null_key, lowest_key;
  jet::AppendColumnKey(null_key, table.columns[0], std::monostate{}, true, jet::Format::kJet4);
  jet::AppendColumnKey(lowest_key, table.columns[0], std::numeric_limits<int32_t>::min(), true, jet::Format::kJet4);
  EXPECT_LT(null_key, lowest_key);
}

TEST(KeyEncoder, RefusesWhatAKeyCannotCarry) {
  jet::TableDef table;
  table.columns = {Column(jet::FieldType::kNumeric, 0), Column(jet::FieldType::kLong, 1)};
  jet::RealIndexDef decimal_index, missing_column;
  decimal_index.columns = {{0, true}};
  missing_column.columns = {{9, true}};
  const jet::Row row = {jet::Decimal{}, int32_t{1}};
  auto number_of = [](auto call) {
    try {
      call();
    } catch (const jet::Error& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(number_of([&] { jet::EncodeIndexKey(table, decimal_index, row, jet::Format::kJet4); }),
            jet::key_err::kUnsupportedKey);
  EXPECT_EQ(number_of([&] { jet::EncodeIndexKey(table, missing_column, row, jet::Format::kJet4); }),
            jet::key_err::kUnsupportedKey);
  EXPECT_EQ(number_of([&] { jet::EncodeIndexKey(table, decimal_index, {int32_t{1}}, jet::Format::kJet4); }),
            jet::key_err::kUnsupportedKey);
  // Text in a Long column means the row does not belong to this table.
  EXPECT_EQ(number_of([&] {
              Bytes key;
              jet::AppendColumnKey(key, table.columns[1], std::string("x"), true, jet::Format::kJet4);
            }),
            jet::key_err::kUnsupportedKey);
}

}  // namespace
