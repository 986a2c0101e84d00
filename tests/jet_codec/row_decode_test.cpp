#include <gtest/gtest.h>

#include "jet/common/error.h"
#include "jet/core/row_codec.h"
#include "tests/jet_codec/row_images.h"

namespace jet {
namespace {

using vantrel::test::Bytes;
using vantrel::test::FixedColumn;
using vantrel::test::Table;
using vantrel::test::VariableColumn;

void Append(std::vector<uint8_t>& out, std::initializer_list<int> values) {
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
}

// Jet 4 row of MSysObjects-like shape: Long Id (fixed), Text Name (variable), Boolean Flag,
// Text Note (variable, Null), Integer Kind (fixed), in a number order unlike the
// descriptor order, as system tables have it.
TEST(DecodeRowJet4, FixedVariableBooleanAndNull) {
  TableDef table = Table(Format::kJet4, {VariableColumn("Name", FieldType::kText, 1, 0),
                                         FixedColumn("Id", FieldType::kLong, 0, 0, 4),
                                         FixedColumn("Flag", FieldType::kBoolean, 2, 0, 1),
                                         VariableColumn("Note", FieldType::kText, 3, 1),
                                         FixedColumn("Kind", FieldType::kInteger, 4, 4, 2)});
  std::vector<uint8_t> row;
  Append(row, {5, 0});                      // five columns
  Append(row, {0x2A, 0, 0, 0, 0xFE, 0xFF});  // Id 42, Kind -2
  Append(row, {0xFF, 0xFE, 'a', 'b', 'c'});  // Name "abc", compressed, at 8
  Append(row, {13, 0, 13, 0, 8, 0, 2, 0});   // eod 13, Note at 13 (empty), Name at 8, two slots
  Append(row, {0b10111});                   // Note is Null; Flag true
  Row values = DecodeRow(table, row, {Format::kJet4, 1252, nullptr});
  ASSERT_EQ(values.size(), 5u);
  EXPECT_EQ(std::get<std::string>(values[0]), "abc");
  EXPECT_EQ(std::get<int32_t>(values[1]), 42);
  EXPECT_EQ(std::get<bool>(values[2]), true);
  EXPECT_TRUE(IsNull(values[3]));
  EXPECT_EQ(std::get<int16_t>(values[4]), -2);

  row.back() = 0b00001;  // Name Null too, Flag false, Kind Null
  values = DecodeRow(table, row, {Format::kJet4, 1252, nullptr});
  EXPECT_TRUE(IsNull(values[0]));
  EXPECT_EQ(std::get<bool>(values[2]), false);
  EXPECT_TRUE(IsNull(values[4]));
}

// Jet 3: one-byte column count and offsets, Windows-1252 text.
TEST(DecodeRowJet3, ShortRowWithoutJumpTable) {
  TableDef table = Table(Format::kJet3, {FixedColumn("Id", FieldType::kLong, 0, 0, 4),
                                         VariableColumn("Name", FieldType::kText, 1, 0)});
  std::vector<uint8_t> row;
  Append(row, {2});
  Append(row, {7, 0, 0, 0});
  Append(row, {'C', 'a', 'f', 0xE9});  // "Café" at 5
  Append(row, {9, 5, 1});              // eod, Name's offset, one slot
  Append(row, {0b11});
  Row values = DecodeRow(table, row, {Format::kJet3, 1252, nullptr});
  EXPECT_EQ(std::get<int32_t>(values[0]), 7);
  EXPECT_EQ(std::get<std::string>(values[1]), "Caf\xC3\xA9");
}

// A row written before columns were added: its column count, null mask and slot count are
// smaller than the table's. The added columns read Null, a boolean among them too.
TEST(DecodeRow, RowsWrittenBeforeColumnsWereAdded) {
  for (Format format : {Format::kJet3, Format::kJet4}) {
    TableDef table = Table(format, {FixedColumn("Id", FieldType::kLong, 0, 0, 4), VariableColumn("A", FieldType::kBinary, 1, 0),
                                    FixedColumn("Added", FieldType::kInteger, 2, 4, 2),
                                    FixedColumn("AddedFlag", FieldType::kBoolean, 8, 0, 1),
                                    VariableColumn("AddedText", FieldType::kText, 9, 1)});
    std::vector<uint8_t> row;
    const bool jet3 = format == Format::kJet3;
    Append(row, {2});
    if (!jet3) Append(row, {0});
    Append(row, {9, 0, 0, 0, 0xAB});  // Id 9, A = AB
    const int data_start = jet3 ? 5 : 6;
    if (jet3) {
      Append(row, {data_start + 1, data_start, 1});
    } else {
      Append(row, {data_start + 1, 0, data_start, 0, 1, 0});
    }
    Append(row, {0b11});
    Row values = DecodeRow(table, row, {format, 1252, nullptr});
    EXPECT_EQ(values, (Row{int32_t{9}, Binary{{0xAB}}, {}, {}, {}}));
  }
}

// The table's first variable column was added after this row was written: the row has no
// offset table at all, and its last fixed bytes must not be taken for one.
TEST(DecodeRow, RowWrittenBeforeTheFirstVariableColumn) {
  TableDef table = Table(Format::kJet4, {FixedColumn("Id", FieldType::kLong, 0, 0, 4),
                                         VariableColumn("Added", FieldType::kText, 1, 0)});
  const std::vector<uint8_t> row = Bytes({1, 0, 0x07, 0xFF, 0x7F, 0x00, 0b1});
  EXPECT_EQ(DecodeRow(table, row, {Format::kJet4, 1252, nullptr}), (Row{int32_t{0x7FFF07}, {}}));
}

// Type codes the engine does not know (seen in system tables) read as their stored bytes.
TEST(DecodeRow, UnknownTypeCodesReadAsBinary) {
  ColumnDef fixed_unknown = FixedColumn("Data", FieldType::kBinary, 0, 0, 3);
  fixed_unknown.type = 0x11;
  ColumnDef variable_unknown = VariableColumn("Other", FieldType::kBinary, 1, 0);
  variable_unknown.type = 0x0D;
  TableDef table = Table(Format::kJet4, {fixed_unknown, variable_unknown});
  std::vector<uint8_t> row = Bytes({2, 0, 1, 2, 3, 7, 8, 7, 0, 5, 0, 1, 0, 0b11});
  EXPECT_EQ(DecodeRow(table, row, {Format::kJet4, 1252, nullptr}), (Row{Binary{{1, 2, 3}}, Binary{{7, 8}}}));
}

TEST(DecodeRow, CorruptLayoutsRaiseCorrupt) {
  TableDef table = Table(Format::kJet4, {FixedColumn("Id", FieldType::kLong, 0, 0, 4),
                                         VariableColumn("A", FieldType::kText, 1, 0),
                                         VariableColumn("B", FieldType::kText, 2, 1)});
  const DecodeContext context{Format::kJet4, 1252, nullptr};
  auto expect_corrupt = [&](std::vector<uint8_t> row) {
    try {
      DecodeRow(table, row, context);
      ADD_FAILURE() << "accepted a damaged row";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), err::kCorrupt);
    }
  };
  // Offsets out of order: B starts before A.
  expect_corrupt(Bytes({3, 0, 1, 0, 0, 0, 'x', 'y', 10, 0, 6, 0, 8, 0, 2, 0, 0b111}));
  // An offset past the offset table.
  expect_corrupt(Bytes({3, 0, 1, 0, 0, 0, 'x', 'y', 10, 0, 40, 0, 6, 0, 2, 0, 0b111}));
  // More slots than the row can hold.
  expect_corrupt(Bytes({3, 0, 1, 0, 0, 0, 0xFF, 0x7F, 0b111}));
  // Fixed value reaching into the variable data.
  expect_corrupt(Bytes({3, 0, 1, 0, 4, 0, 4, 0, 4, 0, 2, 0, 0b111}));
  // Empty and truncated rows.
  expect_corrupt({});
  expect_corrupt(Bytes({3}));
}

}  // namespace
}  // namespace jet
