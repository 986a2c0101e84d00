// Keys taken from stored row bytes must be the keys of the decoded row, byte for byte, and
// must fail where those fail: a bulk build mixes the two paths within one table.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "jet/common/error.h"
#include "jet/common/text_codec.h"
#include "jet/core/database.h"
#include "jet/core/row_codec.h"
#include "jet/core/row_encoder.h"
#include "jet/core/table_scan.h"
#include "jet/index/key_encoder.h"
#include "jet/index/stored_key.h"
#include "tests/jet_codec/row_images.h"
#include "tests/support/corpus.h"

namespace jet {
namespace {

using vantrel::test::FixedColumn;
using vantrel::test::VariableColumn;

// A key, or the error number that stopped it.
struct Outcome {
  std::vector<uint8_t> key;
  int32_t error = 0;
  bool operator==(const Outcome&) const = default;
};

template <typename Make>
Outcome Try(Make make) {
  Outcome outcome;
  try {
    make(outcome.key);
  } catch (const Error& error) {
    outcome.key.clear();
    outcome.error = error.number();
  }
  return outcome;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string out;
  for (uint8_t b : bytes) {
    char two[4];
    std::snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

// Both paths for every keyable column of one stored row, both directions. Returns how many
// column keys agreed, so that callers can tell a comparison that ran from one that did not.
size_t ExpectSameKeys(const TableDef& table, std::span<const uint8_t> stored, const std::string& where,
                      PageSource* pages = nullptr) {
  Row row;
  int32_t decode_error = 0;
  try {
    row = DecodeRow(table, stored, DecodeContext{Format::kJet4, 1252, pages});
  } catch (const Error& error) {
    decode_error = error.number();
  }
  size_t agreed = 0;
  for (size_t c = 0; c < table.columns.size(); ++c) {
    const ColumnDef& column = table.columns[c];
    if (!StoredKeyApplies(column, Format::kJet4)) continue;
    for (bool ascending : {true, false}) {
      std::u16string units;
      const Outcome direct = Try([&](std::vector<uint8_t>& key) {
        const RowLayout layout = ReadRowLayout(table, stored, Format::kJet4);
        const StoredKeyValue value = ReadStoredKeyValue(layout, column, units);
        key = {0x42};  // a key already holding an earlier column's part
        AppendStoredColumnKey(key, column, value, ascending);
      });
      const Outcome through_values = Try([&](std::vector<uint8_t>& key) {
        if (decode_error != 0) throw Error(decode_error, "decoding failed");
        key = {0x42};
        AppendColumnKey(key, column, row[c], ascending, Format::kJet4);
      });
      EXPECT_EQ(direct.error, through_values.error) << where << " column " << column.name;
      EXPECT_EQ(Hex(direct.key), Hex(through_values.key))
          << where << " column " << column.name << (ascending ? " ascending" : " descending");
      agreed += direct == through_values ? 1 : 0;
    }
  }
  return agreed;
}

TableDef KeyTypesTable() {
  std::vector<ColumnDef> columns = {
      FixedColumn("Flag", FieldType::kBoolean, 0, 0, 1),
      FixedColumn("Byte", FieldType::kByte, 1, 0, 1),
      FixedColumn("Int", FieldType::kInteger, 2, 1, 2),
      FixedColumn("Long", FieldType::kLong, 3, 3, 4),
      FixedColumn("Money", FieldType::kCurrency, 4, 7, 8),
      FixedColumn("Single", FieldType::kSingle, 5, 15, 4),
      FixedColumn("Double", FieldType::kDouble, 6, 19, 8),
      FixedColumn("When", FieldType::kDateTime, 7, 27, 8),
      FixedColumn("Id", FieldType::kGuid, 8, 35, 16),
      FixedColumn("Code", FieldType::kText, 9, 51, 12),  // fixed text, zero-padded
      VariableColumn("Packed", FieldType::kText, 10, 0, 510),
      VariableColumn("Plain", FieldType::kText, 11, 1, 510),
      VariableColumn("Swedish", FieldType::kText, 12, 2, 100),
      VariableColumn("Bytes", FieldType::kBinary, 13, 3, 255),
  };
  columns[10].extra_flags = 0x01;  // compresses
  columns[12].extra_flags = 0x01;
  columns[12].sort_order = 1053;  // keys only printable ASCII
  return vantrel::test::Table(Format::kJet4, std::move(columns));
}

class Texts {
 public:
  explicit Texts(uint32_t seed) : random_(seed) {}

  // Characters from many scripts, combining marks, kana, skipped punctuation, characters
  // outside the BMP, blanks at the end, and lengths past the 255 units a key looks at.
  std::string Make(size_t most_units) {
    static const char* kPieces[] = {
        "a", "Z", "0", " ", "-", "'", "\xC3\xA9", "\xC3\x9F", "\xC3\xBF",          // Latin-1
        "\xC5\x93", "\xCE\xA9", "\xD0\x96", "\xD7\x90", "\xD8\xB9", "\xE0\xA4\x95",  // œ Ω Ж א ع क
        "\xE4\xB8\xAD", "\xE3\x81\x8B", "\xE3\x82\xAB", "\xEF\xBD\xB6", "\xE3\x81\x81",  // 中 か カ ｶ ぁ
        "\xCC\x81", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xEF\xBF\xBD", "\x01",          // ́ € 😀 � U+0001
    };
    std::string text;
    size_t units = 0;
    const size_t length = random_() % (most_units + 1);
    const bool latin = random_() % 2 == 0;  // so that compression applies to half the texts
    while (units < length) {
      const char* piece = kPieces[random_() % (latin ? 9 : std::size(kPieces))];
      const size_t width = std::string_view(piece).size() == 4 ? 2 : 1;
      if (units + width > length) break;
      text += piece;
      units += width;
    }
    if (random_() % 4 == 0) text += "   ";
    return text;
  }
  std::mt19937_64& random() { return random_; }

 private:
  std::mt19937_64 random_;
};

TEST(StoredKey, GeneratedRowsOfEveryKeyTypeKeyAsTheirDecodedValues) {
  const TableDef table = KeyTypesTable();
  Texts texts(20261208);
  auto& random = texts.random();
  const double specials[] = {0.0, -0.0, 1e300, -1e-300, std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
  size_t agreed = 0;
  for (int n = 0; n < 1500; ++n) {
    Row row;
    for (const ColumnDef& column : table.columns) {
      const bool null = column.type != static_cast<uint8_t>(FieldType::kBoolean) && random() % 6 == 0;
      if (null) {
        row.emplace_back();
        continue;
      }
      switch (static_cast<FieldType>(column.type)) {
        case FieldType::kBoolean: row.emplace_back(random() % 2 == 0); break;
        case FieldType::kByte: row.emplace_back(static_cast<uint8_t>(random())); break;
        case FieldType::kInteger: row.emplace_back(static_cast<int16_t>(random())); break;
        case FieldType::kLong: row.emplace_back(static_cast<int32_t>(random())); break;
        case FieldType::kCurrency: row.emplace_back(Currency{static_cast<int64_t>(random())}); break;
        case FieldType::kSingle: row.emplace_back(static_cast<float>(specials[random() % 7]) / 3.0f); break;
        case FieldType::kDouble:
          row.emplace_back(random() % 2 ? specials[random() % 7] : static_cast<double>(static_cast<int64_t>(random())));
          break;
        case FieldType::kDateTime: row.emplace_back(DateTime{static_cast<double>(static_cast<int32_t>(random())) / 7.0}); break;
        case FieldType::kGuid: {
          Guid guid;
          for (auto& b : guid.bytes) b = static_cast<uint8_t>(random());
          row.emplace_back(guid);
          break;
        }
        case FieldType::kBinary: {
          Binary blob;
          blob.bytes.resize(random() % 40);  // around the eight-byte groups
          for (auto& b : blob.bytes) b = static_cast<uint8_t>(random());
          row.emplace_back(blob);
          break;
        }
        default: {
          // Swedish keys only printable ASCII; give it both kinds of text.
          std::string text = texts.Make(column.fixed() ? column.length / 2 : 300);
          if (column.fixed()) {
            while (Utf16Length(text) > column.length / 2u) text.pop_back();
            if (!text.empty() && (static_cast<uint8_t>(text.back()) & 0x80) != 0) text.clear();
          }
          if (column.variable_index == 2 && random() % 2 == 0) text = "plain text " + std::to_string(n);
          row.emplace_back(text);
        }
      }
    }
    std::vector<uint8_t> stored;
    try {
      stored = EncodeRow(table, row, EncodeContext{Format::kJet4, 1252, {}});
    } catch (const Error&) {
      continue;  // a text too long for its column: nothing to key
    }
    agreed += ExpectSameKeys(table, stored, "row " + std::to_string(n));
  }
  EXPECT_GT(agreed, 500u * 2 * 14);
}

// A row whose only column is variable column 0, holding `text` as stored.
struct OneTextRow {
  explicit OneTextRow(std::vector<uint8_t> text) {
    table = vantrel::test::Table(Format::kJet4, {VariableColumn("T", FieldType::kText, 0, 0, 510)});
    // Column count, the text, its end offset, its start offset, the slot count, the null mask.
    bytes = {0x01, 0x00};
    bytes.insert(bytes.end(), text.begin(), text.end());
    const uint16_t end = static_cast<uint16_t>(bytes.size());
    bytes.insert(bytes.end(), {static_cast<uint8_t>(end), static_cast<uint8_t>(end >> 8), 0x02, 0x00, 0x01, 0x00, 0x01});
  }
  TableDef table;
  std::vector<uint8_t> bytes;
};

TEST(StoredKey, StoredTextFormsKeyAsTheirDecodedText) {
  const std::vector<std::vector<uint8_t>> forms = {
      {},                                                  // empty text
      {0xFF, 0xFE},                                        // compressed, empty
      {0xFF, 0xFE, 'a', 'b', 0xE9, ' ', ' '},              // one-byte run, trailing blanks
      {0xFF, 0xFE, 'a', 0x00, 0x16, 0x04, 0x00, 'z'},      // one-byte, UCS-2 (Ж), one-byte
      {0xFF, 0xFE, 0x00, 0x2D, 0x4E, 0x42, 0x30},          // starts in UCS-2: 中 and a kana
      {0xFF, 0xFE, 0x00, 0xFF, 0xFE, 'a', 0x00},           // U+FEFF kept as a unit
      {'a', 0x00, 0x01, 0x03, 'b', 0x00},                  // plain, with a combining mark
      {0x3D, 0xD8, 0x00, 0xDE, 'x', 0x00},                 // a surrogate pair
      {0x3D, 0xD8, 'x', 0x00},                             // a lone high surrogate
      {0x00, 0xDE, 0x3D, 0xD8},                            // low before high: both alone
      {'a', 0x00, 0x00, 0x00, 0x00, 0x00},                 // zero units inside plain text
      {0xAD, 0xFF, 'a', 0x00},                             // U+FFAD, no known weight
      {'a', 0x00, 'b'},                                    // odd length: damaged
      {0xFF, 0xFE, 'a', 0x00, 0x16},                       // ends inside a UCS-2 unit: damaged
  };
  for (size_t i = 0; i < forms.size(); ++i) {
    const OneTextRow row(forms[i]);
    ExpectSameKeys(row.table, row.bytes, "form " + std::to_string(i));
  }
  // Long plain and compressed texts, cut at 255 units on both sides of a blank.
  for (size_t length : {254u, 255u, 256u, 300u}) {
    std::vector<uint8_t> plain, packed = {0xFF, 0xFE};
    for (size_t i = 0; i < length; ++i) {
      const uint8_t letter = i == 254 ? ' ' : static_cast<uint8_t>('a' + i % 26);
      plain.insert(plain.end(), {letter, 0x04});  // Cyrillic
      packed.push_back(letter);
    }
    EXPECT_EQ(ExpectSameKeys(OneTextRow(plain).table, OneTextRow(plain).bytes, "plain " + std::to_string(length)), 2u);
    EXPECT_EQ(ExpectSameKeys(OneTextRow(packed).table, OneTextRow(packed).bytes, "packed " + std::to_string(length)), 2u);
  }
}

// Rows written before a column was added have no value for it: both paths key a null.
TEST(StoredKey, RowsOlderThanTheirColumnsKeyNulls) {
  TableDef older = KeyTypesTable();
  older.columns.resize(3);
  older.max_columns = 3;
  older.variable_column_count = 0;
  const std::vector<uint8_t> stored = EncodeRow(older, Row{true, uint8_t{7}, int16_t{-3}}, EncodeContext{});
  EXPECT_EQ(ExpectSameKeys(KeyTypesTable(), stored, "older row"), 14u * 2);
}

// Every row of every Jet 4 sample table, every column the stored path keys.
TEST(StoredKey, CorpusRowsKeyAsTheirDecodedValues) {
  VANTREL_REQUIRE_CORPUS();
  size_t agreed = 0;
  for (const auto& file : vantrel::test::CorpusFiles()) {
    std::unique_ptr<Database> database;
    try {
      database = Database::Open(file);
    } catch (const Error&) {
      continue;  // a sample behind a password, or one this engine does not open
    }
    if (database->format() != Format::kJet4) continue;
    for (const TableInfo& info : database->tables()) {
      if (info.object.type != object_type::kTable || info.def.columns.empty()) continue;
      TableScan scan(database->pages(), info.def);
      while (scan.Next()) {
        const std::vector<uint8_t> stored(scan.bytes().begin(), scan.bytes().end());
        agreed += ExpectSameKeys(info.def, stored, file.filename().string() + " " + info.name, &database->pages());
      }
    }
  }
  EXPECT_GT(agreed, 10000u);
}

}  // namespace
}  // namespace jet
