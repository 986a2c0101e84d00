#include <gtest/gtest.h>

#include <random>

#include "jet/common/error.h"
#include "jet/core/row_codec.h"
#include "jet/core/row_encoder.h"
#include "tests/jet_codec/row_images.h"

namespace jet {
namespace {

using vantrel::test::FixedColumn;
using vantrel::test::MemoryPages;
using vantrel::test::Table;
using vantrel::test::VariableColumn;

// Every field type, with gaps in the column numbers, fixed offsets and variable slots where
// deleted columns were, and the descriptors out of number order.
TableDef AllTypesTable(Format format) {
  std::vector<ColumnDef> columns = {
      FixedColumn("Flag", FieldType::kBoolean, 0, 0, 1),
      FixedColumn("Byte", FieldType::kByte, 1, 0, 1),
      FixedColumn("Int", FieldType::kInteger, 3, 3, 2),  // number 2 and offset 1-2 were deleted
      FixedColumn("Long", FieldType::kLong, 4, 5, 4),
      FixedColumn("Money", FieldType::kCurrency, 5, 9, 8),
      FixedColumn("Single", FieldType::kSingle, 6, 17, 4),
      FixedColumn("Double", FieldType::kDouble, 7, 21, 8),
      FixedColumn("When", FieldType::kDateTime, 8, 29, 8),
      FixedColumn("Id", FieldType::kGuid, 9, 37, 16),
      VariableColumn("Name", FieldType::kText, 11, 1, format == Format::kJet3 ? 50 : 100),  // slot 0 deleted
      VariableColumn("Bytes", FieldType::kBinary, 12, 2, 255),
      VariableColumn("Notes", FieldType::kMemo, 13, 3, 0),
      VariableColumn("Picture", FieldType::kOle, 14, 4, 0),
      FixedColumn("Second", FieldType::kBoolean, 15, 0, 1),
      FixedColumn("Code", FieldType::kText, 10, 53, format == Format::kJet3 ? 4 : 8),  // fixed text, zero-padded
  };
  if (format == Format::kJet4) {
    ColumnDef number = FixedColumn("Amount", FieldType::kNumeric, 16, 61, 17);
    number.precision = 18;
    number.scale = 2;
    columns.push_back(number);
    columns[9].extra_flags = 0x01;  // Name compresses
  }
  std::swap(columns[2], columns[10]);
  TableDef table = Table(format, std::move(columns));
  table.variable_column_count = 5;
  table.max_columns = format == Format::kJet4 ? 17 : 16;
  return table;
}

class RandomValues {
 public:
  RandomValues(Format format, uint32_t seed) : format_(format), random_(seed) {}

  Value For(const ColumnDef& column) {
    if (column.type != static_cast<uint8_t>(FieldType::kBoolean) && Chance(5)) return {};
    switch (static_cast<FieldType>(column.type)) {
      case FieldType::kBoolean: return Chance(2);
      case FieldType::kByte: return static_cast<uint8_t>(Any());
      case FieldType::kInteger: return static_cast<int16_t>(Any());
      case FieldType::kLong: return static_cast<int32_t>(Any());
      case FieldType::kCurrency: return Currency{static_cast<int64_t>(Any() << 32 | Any())};
      case FieldType::kSingle: return static_cast<float>(static_cast<int32_t>(Any())) / 7.0f;
      case FieldType::kDouble: return static_cast<double>(static_cast<int32_t>(Any())) / 3.0;
      case FieldType::kDateTime: return DateTime{static_cast<double>(static_cast<int32_t>(Any() % 3000000)) / 11.0};
      case FieldType::kGuid: {
        Guid guid;
        for (auto& b : guid.bytes) b = static_cast<uint8_t>(Any());
        return guid;
      }
      case FieldType::kNumeric: return Decimal{Chance(2), column.precision, column.scale, static_cast<uint32_t>(Any()), 7, 0};
      case FieldType::kText: return Text(Below(column.length / (format_ == Format::kJet3 ? 1 : 2) + 1));
      case FieldType::kMemo: return Text(Size());
      case FieldType::kBinary: return Blob(Below(column.length + 1));
      case FieldType::kOle: return Blob(Size());
      default: return {};
    }
  }

 private:
  uint64_t Any() { return random_(); }
  size_t Below(size_t limit) { return static_cast<size_t>(Any() % limit); }
  bool Chance(unsigned one_in) { return Any() % one_in == 0; }
  // Long-value sizes around each layout's limits: inline, one LVAL row, a chain.
  size_t Size() {
    static constexpr size_t kSizes[] = {0, 1, 30, 64, 65, 1000, 2030, 2040, 4070, 4080, 5000, 9000, 20000};
    return kSizes[Below(std::size(kSizes))] + Below(3);
  }
  std::string Text(size_t characters) {
    // Jet 3: Windows-1252 letters; Jet 4: also Cyrillic, CJK and a character outside the BMP.
    static const char* kJet3Pieces[] = {"a", "Z", " ", "\xC3\xA9", "\xE2\x82\xAC", "0"};
    static const char* kJet4Pieces[] = {"a", "Z", " ", "\xC3\xA9", "\xD0\x96", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80"};
    const bool plain = Chance(2);  // Latin-1 only, so that compression applies
    std::string text;
    size_t units = 0;
    while (units < characters) {
      const char* piece = format_ == Format::kJet3 || plain ? kJet3Pieces[Below(plain ? 4 : 6)] : kJet4Pieces[Below(7)];
      const size_t width = std::string_view(piece).size() == 4 ? 2 : 1;
      if (units + width > characters) break;
      text += piece;
      units += width;
    }
    return text;
  }
  Binary Blob(size_t size) {
    Binary blob;
    for (size_t i = 0; i < size; ++i) blob.bytes.push_back(static_cast<uint8_t>(Any()));
    return blob;
  }

  Format format_;
  std::mt19937_64 random_;
};

// Random rows survive encoding and decoding unchanged, long values placed on pages included.
TEST(RowRoundTrip, RandomRowsOfEveryTypeBothFormats) {
  for (Format format : {Format::kJet3, Format::kJet4}) {
    SCOPED_TRACE(format == Format::kJet3 ? "Jet 3" : "Jet 4");
    const TableDef table = AllTypesTable(format);
    MemoryPages pages(format);
    EncodeContext encode{format, 1252, [&](LongValueImage& image) { pages.Place(image); }};
    RandomValues random(format, 20261206);
    for (int n = 0; n < 400; ++n) {
      Row row;
      for (const auto& column : table.columns) row.push_back(random.For(column));
      std::vector<uint8_t> bytes;
      try {
        bytes = EncodeRow(table, row, encode);
      } catch (const Error& error) {
        // Random text can exceed what the row may hold inline; that must be the only refusal.
        ASSERT_EQ(error.number(), codec_err::kRecordTooLarge) << error.what();
        continue;
      }
      ASSERT_LE(bytes.size(), MaxRowSize(format));
      const Row back = DecodeRow(table, bytes, {format, 1252, &pages});
      ASSERT_EQ(back.size(), row.size());
      for (size_t i = 0; i < row.size(); ++i) EXPECT_EQ(back[i], row[i]) << table.columns[i].name << " in row " << n;
    }
  }
}

// Jet 3 rows past 256 bytes need the jump table, including the case where its farthest
// entry is filler; sweep the row length across several boundaries.
TEST(RowRoundTrip, Jet3JumpTableAcrossLengths) {
  std::vector<ColumnDef> columns;
  for (uint16_t i = 0; i < 40; ++i) columns.push_back(VariableColumn("V" + std::to_string(i), FieldType::kBinary, i, i, 255));
  const TableDef table = Table(Format::kJet3, columns);
  size_t rows_with_filler = 0;
  for (size_t total = 0; total < 1900; total += 7) {
    Row row;
    for (size_t i = 0; i < columns.size(); ++i) {
      Binary blob;
      blob.bytes.assign(total / columns.size() + (i < total % columns.size() ? 1 : 0), static_cast<uint8_t>(i));
      row.push_back(blob);
    }
    std::vector<uint8_t> bytes;
    try {
      bytes = EncodeRow(table, row, {Format::kJet3, 1252, {}});
    } catch (const Error& error) {
      ASSERT_EQ(error.number(), codec_err::kRecordTooLarge);
      continue;
    }
    rows_with_filler += (bytes.size() > 256 && bytes[bytes.size() - 5 - 1 - (bytes.size() - 1) / 256] == 0xFF);
    const Row back = DecodeRow(table, bytes, {Format::kJet3, 1252, nullptr});
    ASSERT_EQ(back, row) << "total " << total << ", row of " << bytes.size() << " bytes";
  }
  EXPECT_GT(rows_with_filler, 0u);
}

// Damaged rows and long-value pages end in a jet::Error, never in a crash or a hang (the
// sanitizers watch the memory side); a damaged byte may also just change a value.
TEST(RowRoundTrip, DamagedBytesNeverCrash) {
  for (Format format : {Format::kJet3, Format::kJet4}) {
    const TableDef table = AllTypesTable(format);
    MemoryPages pages(format);
    EncodeContext encode{format, 1252, [&](LongValueImage& image) { pages.Place(image); }};
    RandomValues random(format, 7);
    std::mt19937 damage(11);
    for (int n = 0; n < 150; ++n) {
      Row row;
      for (const auto& column : table.columns) row.push_back(random.For(column));
      std::vector<uint8_t> bytes;
      try {
        bytes = EncodeRow(table, row, encode);
      } catch (const Error&) {
        continue;
      }
      for (int trial = 0; trial < 40; ++trial) {
        std::vector<uint8_t> damaged = bytes;
        const int flips = 1 + static_cast<int>(damage() % 3);
        for (int f = 0; f < flips; ++f) damaged[damage() % damaged.size()] = static_cast<uint8_t>(damage());
        if (trial % 10 == 0) damaged.resize(damage() % damaged.size());
        // Now and then damage a long-value page too.
        std::vector<uint8_t> saved;
        uint32_t victim = 0;
        if (trial % 4 == 0 && pages.page_count() > 1) {
          victim = 1 + static_cast<uint32_t>(damage() % (pages.page_count() - 1));
          saved = pages.Mutable(victim);
          for (int f = 0; f < 4; ++f) pages.Mutable(victim)[damage() % 64] = static_cast<uint8_t>(damage());
        }
        try {
          DecodeRow(table, damaged, {format, 1252, &pages});
        } catch (const Error&) {
        }
        if (!saved.empty()) pages.Mutable(victim) = saved;
      }
    }
  }
}

TEST(RowEncoder, RefusesValuesThatDoNotFit) {
  const TableDef table = AllTypesTable(Format::kJet4);
  Row row(table.columns.size());
  auto index_of = [&](const std::string& name) {
    for (size_t i = 0; i < table.columns.size(); ++i)
      if (table.columns[i].name == name) return i;
    return size_t{0};
  };
  auto expect_error = [&](Row values, int32_t number) {
    try {
      EncodeRow(table, values, {Format::kJet4, 1252, {}});
      ADD_FAILURE() << "accepted";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), number) << error.what();
    }
  };
  Row wrong_kind = row;
  wrong_kind[index_of("Long")] = int16_t{1};
  expect_error(wrong_kind, codec_err::kDataTypeConversion);
  Row too_long = row;
  too_long[index_of("Name")] = std::string(51, 'x');  // Text(50)
  expect_error(too_long, codec_err::kFieldTooSmall);
  Row wrong_scale = row;
  wrong_scale[index_of("Amount")] = Decimal{false, 18, 3, 1, 0, 0};
  expect_error(wrong_scale, codec_err::kDataTypeConversion);
  Row too_precise = row;
  too_precise[index_of("Amount")] = Decimal{false, 18, 2, 0, 0x10000000, 0};  // 19 digits in Numeric(18, 2)
  expect_error(too_precise, codec_err::kFieldTooSmall);
  Row out_of_row = row;
  out_of_row[index_of("Notes")] = std::string(3000, 'x');  // needs a page, and no placer given
  expect_error(out_of_row, codec_err::kRecordTooLarge);
  expect_error(Row(3), codec_err::kDataTypeConversion);

  // A row refused for its size must not leave long values placed behind it.
  Row wide = row;
  wide[index_of("Picture")] = Binary{std::vector<uint8_t>(5000, 1)};
  wide[index_of("Bytes")] = Binary{std::vector<uint8_t>(255, 2)};
  TableDef wide_table = table;
  for (uint16_t i = 0; i < 16; ++i) {
    wide_table.columns.push_back(VariableColumn("Extra" + std::to_string(i), FieldType::kBinary, 20 + i, 5 + i, 255));
    wide.push_back(Binary{std::vector<uint8_t>(255, 3)});
  }
  int placed = 0;
  try {
    EncodeRow(wide_table, wide, {Format::kJet4, 1252, [&](LongValueImage&) { ++placed; }});
    ADD_FAILURE() << "accepted a row of over 4 KB";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), codec_err::kRecordTooLarge);
  }
  EXPECT_EQ(placed, 0);

  Row fits = row;
  fits[index_of("Name")] = std::string(50, 'x');
  EXPECT_NO_THROW(EncodeRow(table, fits, {Format::kJet4, 1252, {}}));
}

}  // namespace
}  // namespace jet
