#include "jet/write/row_transform.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <random>

#include "jet/common/error.h"
#include "jet/core/row_codec.h"
#include "jet/core/row_encoder.h"
#include "jet/write/value_conversion.h"
#include "tests/jet_codec/row_images.h"

namespace jet {
namespace {

using vantrel::test::FixedColumn;
using vantrel::test::MemoryPages;
using vantrel::test::Table;
using vantrel::test::VariableColumn;

ColumnDef Compressing(ColumnDef column) {
  column.extra_flags = 0x01;
  return column;
}

// Every type, with a slot left by a deleted column.
TableDef SourceTable() {
  ColumnDef amount = FixedColumn("Amount", FieldType::kNumeric, 9, 47, 17);
  amount.precision = 18;
  amount.scale = 2;
  TableDef table = Table(Format::kJet4, {
      FixedColumn("Flag", FieldType::kBoolean, 0, 0, 1),
      FixedColumn("Byte", FieldType::kByte, 1, 0, 1),
      FixedColumn("Int", FieldType::kInteger, 2, 1, 2),
      FixedColumn("Money", FieldType::kCurrency, 3, 3, 8),
      FixedColumn("Single", FieldType::kSingle, 4, 11, 4),
      FixedColumn("Double", FieldType::kDouble, 5, 15, 8),
      FixedColumn("When", FieldType::kDateTime, 6, 23, 8),
      FixedColumn("Id", FieldType::kGuid, 7, 31, 16),
      FixedColumn("Count", FieldType::kLong, 8, 64, 4),
      amount,
      FixedColumn("Code", FieldType::kText, 10, 68, 8),
      Compressing(VariableColumn("Name", FieldType::kText, 11, 1, 100)),
      VariableColumn("Plain", FieldType::kText, 12, 2, 100),
      Compressing(VariableColumn("Short", FieldType::kText, 13, 3, 100)),
      VariableColumn("Bytes", FieldType::kBinary, 14, 4, 255),
      VariableColumn("Notes", FieldType::kMemo, 15, 5, 0),
      VariableColumn("Picture", FieldType::kOle, 16, 6, 0),
  });
  table.variable_column_count = 7;
  return table;
}

// The same fields in another order and layout, Int widened to Long, Count turned to text,
// Plain compressing, Short and Bytes narrowed.
TableDef TargetTable() {
  ColumnDef amount = FixedColumn("Amount", FieldType::kNumeric, 3, 0, 17);
  amount.precision = 18;
  amount.scale = 2;
  TableDef table = Table(Format::kJet4, {
      VariableColumn("Picture", FieldType::kOle, 0, 0, 0),
      Compressing(VariableColumn("Name", FieldType::kText, 1, 1, 100)),
      FixedColumn("Int", FieldType::kLong, 2, 17, 4),
      amount,
      FixedColumn("Flag", FieldType::kBoolean, 4, 0, 1),
      FixedColumn("Byte", FieldType::kByte, 5, 21, 1),
      FixedColumn("Money", FieldType::kCurrency, 6, 22, 8),
      FixedColumn("Single", FieldType::kSingle, 7, 30, 4),
      FixedColumn("Double", FieldType::kDouble, 8, 34, 8),
      FixedColumn("When", FieldType::kDateTime, 9, 42, 8),
      FixedColumn("Id", FieldType::kGuid, 10, 50, 16),
      Compressing(VariableColumn("Count", FieldType::kText, 11, 2, 40)),
      FixedColumn("Code", FieldType::kText, 12, 66, 8),
      Compressing(VariableColumn("Plain", FieldType::kText, 13, 3, 100)),
      Compressing(VariableColumn("Short", FieldType::kText, 14, 4, 20)),
      VariableColumn("Bytes", FieldType::kBinary, 15, 5, 16),
      VariableColumn("Notes", FieldType::kMemo, 16, 6, 0),
  });
  return table;
}

std::vector<int> SourceOf(const TableDef& source, const TableDef& target) {
  std::vector<int> source_of;
  for (const ColumnDef& to : target.columns)
    for (size_t s = 0; s < source.columns.size(); ++s)
      if (source.columns[s].name == to.name) source_of.push_back(static_cast<int>(s));
  return source_of;
}

class Values {
 public:
  explicit Values(uint32_t seed) : random_(seed) {}
  Value For(const ColumnDef& column) {
    if (column.type != static_cast<uint8_t>(FieldType::kBoolean) && Below(6) == 0) return {};
    switch (static_cast<FieldType>(column.type)) {
      case FieldType::kBoolean: return Below(2) == 0;
      case FieldType::kByte: return static_cast<uint8_t>(random_());
      case FieldType::kInteger: return static_cast<int16_t>(random_());
      case FieldType::kLong: return static_cast<int32_t>(random_());
      case FieldType::kCurrency: return Currency{static_cast<int64_t>(random_())};
      case FieldType::kSingle: return static_cast<float>(static_cast<int32_t>(random_())) / 7.0f;
      case FieldType::kDouble: return static_cast<double>(static_cast<int32_t>(random_())) / 3.0;
      case FieldType::kDateTime: return DateTime{static_cast<double>(random_() % 3000000) / 11.0};
      case FieldType::kGuid: {
        Guid guid;
        for (auto& b : guid.bytes) b = static_cast<uint8_t>(random_());
        return guid;
      }
      case FieldType::kNumeric: return Decimal{Below(2) == 0, 18, 2, static_cast<uint32_t>(random_()), 0, 0};
      case FieldType::kText: return Text(Below(column.length / 2 + 1));
      case FieldType::kMemo: {
        static constexpr size_t kSizes[] = {0, 2, 31, 32, 33, 600, 2100, 5000};
        return Text(kSizes[Below(std::size(kSizes))]);
      }
      default: {
        static constexpr size_t kSizes[] = {0, 1, 16, 17, 64, 65, 3000, 9000};
        Binary blob;
        blob.bytes.resize(column.type == static_cast<uint8_t>(FieldType::kOle) ? kSizes[Below(std::size(kSizes))]
                                                                              : Below(column.length + 1));
        for (auto& b : blob.bytes) b = static_cast<uint8_t>(random_());
        return blob;
      }
    }
  }

 private:
  size_t Below(size_t n) { return static_cast<size_t>(random_() % n); }
  // Latin-1 only half the time, so that compression applies; else also Cyrillic and an emoji.
  std::string Text(size_t units) {
    static const char* kPieces[] = {"a", "Z", " ", "\xC3\xA9", "\xD0\x96", "\xF0\x9F\x98\x80"};
    const size_t kinds = Below(2) == 0 ? 4 : 6;
    std::string text;
    for (size_t used = 0; used < units;) {
      const char* piece = kPieces[Below(kinds)];
      const size_t width = std::string_view(piece).size() == 4 ? 2 : 1;
      if (used + width > units) break;
      text += piece;
      used += width;
    }
    return text;
  }
  std::mt19937_64 random_;
};

// What INSERT INTO ... SELECT stored before values were carried as bytes.
std::vector<uint8_t> GeneralWay(const TableDef& source, const TableDef& target, const std::vector<int>& source_of,
                                std::span<const uint8_t> row, MemoryPages& source_pages, MemoryPages& pages) {
  const Row from = DecodeRow(source, row, DecodeContext{Format::kJet4, 1252, &source_pages});
  Row converted;
  for (size_t t = 0; t < target.columns.size(); ++t)
    converted.push_back(ConvertForColumn(from[static_cast<size_t>(source_of[t])], target.columns[t], Format::kJet4));
  return EncodeRow(target, converted, EncodeContext{Format::kJet4, 1252, [&](LongValueImage& i) { pages.Place(i); }});
}

class RowTransformTest : public ::testing::Test {
 protected:
  std::vector<uint8_t> Stored(const Row& values) {
    return EncodeRow(source_, values, EncodeContext{Format::kJet4, 1252, [&](LongValueImage& i) { source_pages_.Place(i); }});
  }
  // The row both ways; false when the transform leaves it to the general way.
  bool BothWays(std::span<const uint8_t> row) {
    RowBuilder& builder = Builder();
    if (!transform_.Build(row, source_pages_, builder)) return false;
    const std::vector<uint8_t> fast = builder.Finish([&](LongValueImage& i) { fast_pages_.Place(i); });
    const std::vector<uint8_t> general = GeneralWay(source_, target_, source_of_, row, source_pages_, general_pages_);
    EXPECT_EQ(fast, general);
    EXPECT_EQ(fast_pages_.page_count(), general_pages_.page_count());
    for (uint32_t p = 0; p < fast_pages_.page_count() && p < general_pages_.page_count(); ++p) {
      const auto a = fast_pages_.Page(p), b = general_pages_.Page(p);
      EXPECT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << "long-value page " << p;
    }
    return true;
  }
  RowBuilder& Builder() {
    builder_.Clear();
    return builder_;
  }

  TableDef source_ = SourceTable();
  TableDef target_ = TargetTable();
  std::vector<int> source_of_ = SourceOf(source_, target_);
  std::vector<bool> required_ = std::vector<bool>(target_.columns.size(), false);
  RowTransform transform_{source_, target_, source_of_, required_, Format::kJet4, 1252};
  RowBuilder builder_{target_, EncodeContext{Format::kJet4, 1252, {}}};
  MemoryPages source_pages_{Format::kJet4}, fast_pages_{Format::kJet4}, general_pages_{Format::kJet4};
};

// Random rows of every type come out byte for byte as the general way stores them, long
// values and their pages included; only texts too long for their narrowed field are left to it.
TEST_F(RowTransformTest, CarriedRowsAreWhatTheGeneralWayStores) {
  ASSERT_TRUE(transform_.usable());
  Values random(20261208);
  int carried = 0, left = 0;
  for (int n = 0; n < 600; ++n) {
    Row values;
    for (const ColumnDef& column : source_.columns) values.push_back(random.For(column));
    const std::vector<uint8_t> row = Stored(values);
    if (BothWays(row)) {
      ++carried;
      continue;
    }
    ++left;
    const auto* text = std::get_if<std::string>(&values[13]);  // Short: 100 bytes, now 20
    EXPECT_TRUE(text && Utf16Length(*text) > 10) << "row " << n << " left to the general way";
  }
  EXPECT_GT(carried, 150);
  EXPECT_GT(left, 100);
}

// A row written before a column was added reads it as Null, and a column that must hold a
// value and would get Null leaves the row to the general way, which refuses it.
TEST_F(RowTransformTest, ShortRowsAndRequiredNulls) {
  Row values;
  for (const ColumnDef& column : source_.columns) values.push_back(Values(7).For(column));
  TableDef older = source_;
  older.columns.resize(9);  // up to Count: no variable column yet
  older.max_columns = 9;
  older.variable_column_count = 0;
  values.resize(9);
  values[2] = int16_t{-5};
  const std::vector<uint8_t> short_row =
      EncodeRow(older, values, EncodeContext{Format::kJet4, 1252, {}});
  EXPECT_TRUE(BothWays(short_row));

  required_[1] = true;  // Name, which the short row lacks
  RowTransform strict(source_, target_, source_of_, required_, Format::kJet4, 1252);
  EXPECT_FALSE(strict.Build(short_row, source_pages_, Builder()));
}

// Text holding a lone surrogate reads as U+FFFD through UTF-8: the row is left to the
// general way rather than copied with the surrogate.
TEST_F(RowTransformTest, LoneSurrogateIsLeftToTheGeneralWay) {
  Row values(source_.columns.size());
  values[0] = false;
  values[12] = std::string("abcd");  // Plain: stored as UCS-2
  std::vector<uint8_t> row = Stored(values);
  const RowLayout layout = ReadRowLayout(source_, row, Format::kJet4);
  const size_t at = static_cast<size_t>(layout.ValueBytes(source_.columns[12])->data() - row.data());
  row[at + 2] = 0x00;
  row[at + 3] = 0xD8;
  EXPECT_FALSE(transform_.Build(row, source_pages_, Builder()));
  const std::vector<uint8_t> general = GeneralWay(source_, target_, source_of_, row, source_pages_, general_pages_);
  const Row read = DecodeRow(target_, general, DecodeContext{Format::kJet4, 1252, &general_pages_});
  EXPECT_EQ(read[13], Value{std::string("a\xEF\xBF\xBD" "cd")});
}

// Where a value cannot be carried the transform is not offered: Jet 3, a field with no source.
TEST(RowTransform, OnlyOfferedWhereEveryFieldHasItsSource) {
  const TableDef source = SourceTable(), target = TargetTable();
  const std::vector<bool> required(target.columns.size(), false);
  std::vector<int> source_of = SourceOf(source, target);
  EXPECT_FALSE(RowTransform(source, target, source_of, required, Format::kJet3, 1252).usable());
  source_of[3] = -1;
  EXPECT_FALSE(RowTransform(source, target, source_of, required, Format::kJet4, 1252).usable());
}

}  // namespace
}  // namespace jet

#include "jet/core/database.h"
#include "jet/write/database_writer.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace vantrel::test {
namespace {

jet::NewTable TableOfEveryType(const std::string& name, int16_t int_type) {
  jet::NewTable table{name, {}, {}, {}};
  const std::vector<jet::NewColumn> columns = {
      {"Flag", 1, 0},  {"Byte", 2, 0},   {"Int", int_type, 0}, {"Count", 4, 0},  {"Money", 5, 0},
      {"Single", 6, 0}, {"Double", 7, 0}, {"When", 8, 0},      {"Bytes", 9, 40}, {"Name", 10, 255},
      {"Picture", 11, 0}, {"Notes", 12, 0}, {"Id", 15, 0},     {"Amount", 20, 0}};
  for (const jet::NewColumn& column : columns) {
    table.columns.push_back(column);
    table.properties.emplace_back();
  }
  return table;
}

// A rebuild's copy (one field widened, as the update pass makes it) reads through mdb-export
// exactly as the same rows written value by value, the way the copy stored them before: every
// type, Nulls, empty, full-length and non-Latin texts, memo and OLE values of every layout.
TEST(RebuiltTable, ExportsAsTheValueByValueCopy) {
  VANTREL_REQUIRE_CORPUS();
  TempDir dir;
  const auto path = dir / "local.mdb";
  CopyWritable(CorpusDir() / "jet4/testV2000.mdb", path);
  {
    auto writer = jet::DatabaseWriter::Open(path);
    writer->CreateTable(TableOfEveryType("Tipi", 3));
    writer->CreateTable(TableOfEveryType("Nuova", 4));
    writer->CreateTable(TableOfEveryType("Vecchia", 4));
    std::vector<jet::Row> rows;
    const std::string names[] = {"", std::string(255, 'x'), "Citt\xC3\xA0", "\xD0\x96\xD0\xB8\xD0\xB7\xD0\xBD\xD1\x8C",
                                 "ab", "\xF0\x9F\x98\x80 ok"};
    const size_t memo_sizes[] = {0, 10, 32, 40, 3000, 9000};
    const size_t ole_sizes[] = {0, 1, 60, 70, 4000, 12000};
    for (int n = 0; n < 36; ++n) {
      jet::Row row(14);
      const bool nulls = n % 7 == 3;
      row[0] = n % 2 == 0;
      if (!nulls) {
        row[1] = static_cast<uint8_t>(n * 7);
        row[2] = static_cast<int16_t>(n % 2 ? -32768 + n : 32767 - n);
        row[3] = int32_t{n * 100003};
        row[4] = jet::Currency{int64_t{n} * 123457};
        row[5] = 1.0f / static_cast<float>(n + 1);
        row[6] = -1.0 / (n + 3);
        row[7] = jet::DateTime{40000.25 + n};
        row[8] = jet::Binary{std::vector<uint8_t>(static_cast<size_t>(n % 41), static_cast<uint8_t>(n))};
        row[9] = names[n % 6];
        row[10] = jet::Binary{std::vector<uint8_t>(ole_sizes[n % 6], static_cast<uint8_t>(n + 1))};
        std::string memo;
        while (memo.size() < memo_sizes[(n / 6) % 6]) memo += n % 2 ? "Memo \xC3\xA8 " : "\xD0\x96 memo ";
        row[11] = memo;
        jet::Guid guid;
        for (int i = 0; i < 16; ++i) guid.bytes[i] = static_cast<uint8_t>(n + i);
        row[12] = guid;
        row[13] = jet::Decimal{n % 2 == 1, 18, 0, static_cast<uint32_t>(n * 1000), 0, 0};
      }
      rows.push_back(row);
    }
    size_t next = 0;
    writer->InsertRows("Tipi", [&](jet::Row& row) {
      if (next == rows.size()) return false;
      row = rows[next++];
      return true;
    });
    writer->Execute("INSERT INTO [Nuova] SELECT [Tipi].* FROM [Tipi]");
    writer->Commit();
  }
  // The value-by-value copy: decoded, then converted and encoded by InsertRows.
  std::vector<jet::Row> decoded;
  {
    auto database = jet::Database::Open(path);
    jet::Row row;
    for (auto cursor = database->Rows(*database->FindTable("Tipi")); cursor.Next(row);) decoded.push_back(row);
  }
  {
    auto writer = jet::DatabaseWriter::Open(path);
    size_t next = 0;
    writer->InsertRows("Vecchia", [&](jet::Row& out) {
      if (next == decoded.size()) return false;
      out = decoded[next++];
      return true;
    });
    writer->Commit();
  }
  EXPECT_EQ(CheckErrors(path), std::vector<std::string>{});
  const std::string rebuilt = Output("mdb-export -e '" + path.string() + "' Nuova 2>&1");
  const std::string value_by_value = Output("mdb-export -e '" + path.string() + "' Vecchia 2>&1");
  const std::string original = Output("mdb-export -e '" + path.string() + "' Tipi 2>&1");
  EXPECT_EQ(std::count(rebuilt.begin(), rebuilt.end(), '\n'), 37);
  EXPECT_EQ(rebuilt, value_by_value);
  EXPECT_EQ(rebuilt, original);  // an Integer exports as the Long it became
}

}  // namespace
}  // namespace vantrel::test

namespace jet {
namespace {

// Singles and decimals are carried only when the conversion would give their bytes back: an
// infinite Single overflows, a decimal with more digits than its new field overflows, and a
// negative zero loses its sign, as the general way has it.
TEST_F(RowTransformTest, NumbersTheConversionChangesTakeItsWay) {
  target_.columns[3].precision = 10;  // Amount, 18 digits before
  RowTransform narrower(source_, target_, source_of_, required_, Format::kJet4, 1252);
  RowBuilder builder(target_, EncodeContext{Format::kJet4, 1252, {}});
  auto both_ways = [&](const Row& values) -> std::optional<std::vector<uint8_t>> {
    const std::vector<uint8_t> row = Stored(values);
    builder.Clear();
    std::optional<std::vector<uint8_t>> general;
    try {
      general = GeneralWay(source_, target_, source_of_, row, source_pages_, general_pages_);
    } catch (const Error&) {
    }
    if (!narrower.Build(row, source_pages_, builder)) {
      EXPECT_FALSE(general.has_value()) << "a row the general way stores was left to it";
      return std::nullopt;
    }
    const std::vector<uint8_t> fast = builder.Finish({});
    EXPECT_TRUE(general.has_value());
    if (general) {
      EXPECT_EQ(fast, *general);
    }
    return fast;
  };
  Row values(source_.columns.size());
  values[0] = false;
  values[4] = 2.5f;
  values[9] = Decimal{true, 18, 2, 123456789, 100, 0};  // 12 digits: more than 10
  EXPECT_FALSE(both_ways(values));
  values[9] = Decimal{true, 18, 2, 0, 0, 0};
  const auto zero = both_ways(values);
  ASSERT_TRUE(zero);
  const Row read = DecodeRow(target_, *zero, DecodeContext{Format::kJet4, 1252, nullptr});
  const Decimal unsigned_zero{false, 10, 2, 0, 0, 0};
  EXPECT_EQ(read[3], Value{unsigned_zero});
  values[9] = Decimal{false, 18, 2, 999999999, 2, 0};  // 10 digits
  EXPECT_TRUE(both_ways(values));
  values[4] = std::numeric_limits<float>::infinity();
  EXPECT_FALSE(both_ways(values));
  values[4] = -std::numeric_limits<float>::max();
  EXPECT_TRUE(both_ways(values));
}

}  // namespace
}  // namespace jet
