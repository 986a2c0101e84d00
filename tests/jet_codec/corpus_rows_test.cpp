#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "jet/core/row_codec.h"
#include "jet/core/row_encoder.h"
#include "tests/jet_codec/row_images.h"
#include "jet/core/value_format.h"
#include "tests/jet_codec/corpus_tables.h"
#include "tests/support/corpus.h"

namespace vantrel::test {
namespace {

// The value as the independent reader's dump writes it.
nlohmann::json AsDumped(const jet::Value& value) {
  struct Visitor {
    nlohmann::json operator()(std::monostate) const { return nullptr; }
    nlohmann::json operator()(bool v) const { return v; }
    // That reader shows Byte fields signed (255 as -1); the engine keeps them 0-255 as Access does.
    nlohmann::json operator()(uint8_t v) const { return static_cast<int8_t>(v); }
    nlohmann::json operator()(int16_t v) const { return v; }
    nlohmann::json operator()(int32_t v) const { return v; }
    nlohmann::json operator()(jet::Currency v) const { return jet::FormatCurrency(v); }
    nlohmann::json operator()(float v) const { return static_cast<double>(v); }
    nlohmann::json operator()(double v) const { return v; }
    nlohmann::json operator()(jet::DateTime v) const { return jet::FormatDateTime(v); }
    nlohmann::json operator()(const jet::Binary& v) const { return jet::FormatBinary(v.bytes); }
    nlohmann::json operator()(const std::string& v) const { return v; }
    nlohmann::json operator()(const jet::Guid& v) const { return jet::FormatGuid(v); }
    nlohmann::json operator()(const jet::Decimal& v) const { return jet::FormatDecimal(v); }
  };
  return std::visit(Visitor{}, value);
}

// That reader did not know Jet 3 code pages and shows every non-ASCII character of a Jet 3
// text as U+FFFD; mdb-export confirms the Windows-1252 reading ("\xA3" is a pound sign).
std::string NonAsciiAsReplacement(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const auto byte = static_cast<uint8_t>(utf8[i]);
    if (byte < 0x80) {
      out += utf8[i];
    } else if ((byte & 0xC0) != 0x80) {
      out += "\xEF\xBF\xBD";
    }
  }
  return out;
}

bool SameDumpedValue(const nlohmann::json& mine, const nlohmann::json& theirs) {
  if (mine.is_string() && theirs.is_string() && theirs.get<std::string>().find("\xEF\xBF\xBD") != std::string::npos) {
    return NonAsciiAsReplacement(mine.get<std::string>()) == theirs.get<std::string>();
  }
  if (mine.is_number() && theirs.is_number()) {
    const double a = mine.get<double>(), b = theirs.get<double>();
    // A Single is printed with its own digits there; compare it at its own precision.
    const bool single = static_cast<double>(static_cast<float>(a)) == a;
    return a == b || (single && static_cast<float>(a) == static_cast<float>(b)) ||
           std::fabs(a - b) <= 1e-12 * std::max(std::fabs(a), std::fabs(b));
  }
  return mine == theirs;
}

// The catalog names every table with the page of its definition.
std::map<std::string, uint32_t> TablePages(FilePages& pages) {
  jet::TableDef catalog = ReadTableDef(pages, 2);
  std::map<std::string, size_t> column;
  for (size_t i = 0; i < catalog.columns.size(); ++i) column[catalog.columns[i].name] = i;
  std::map<std::string, uint32_t> tables;
  for (const jet::Row& row : ReadAllRows(pages, catalog)) {
    const auto& type = row.at(column.at("Type"));
    if (jet::IsNull(type) || (std::get<int16_t>(type) & 0x7FFF) != 1) continue;
    tables[std::get<std::string>(row.at(column.at("Name")))] =
        static_cast<uint32_t>(std::get<int32_t>(row.at(column.at("Id")))) & 0x00FFFFFF;
  }
  return tables;
}

// Every row of every table in the samples decodes to what the independent reader saw.
TEST(CorpusRows, EveryTableMatchesTheIndependentReader) {
  VANTREL_REQUIRE_CORPUS();
  size_t files = 0, tables_checked = 0, rows_checked = 0;
  for (const auto& mdb : CorpusFiles()) {
    SCOPED_TRACE(mdb.filename().string());
    std::ifstream in(ExpectedJsonFor(mdb));
    if (!in) continue;
    const nlohmann::json expected = nlohmann::json::parse(in);
    FilePages pages(mdb);
    std::map<std::string, uint32_t> table_pages;
    ASSERT_NO_THROW(table_pages = TablePages(pages));
    ++files;
    for (const char* group : {"tables", "systemTables"}) {
      for (const auto& table_json : expected.value(group, nlohmann::json::array())) {
        const std::string name = table_json["name"];
        SCOPED_TRACE(name);
        if (!table_json.contains("rows") || !table_pages.count(name)) continue;
        jet::TableDef table = ReadTableDef(pages, table_pages[name]);
        table.name = name;
        std::vector<jet::Row> rows;
        ASSERT_NO_THROW(rows = ReadAllRows(pages, table));
        std::map<std::string, size_t> position;
        for (size_t i = 0; i < table.columns.size(); ++i) position[table.columns[i].name] = i;
        std::vector<nlohmann::json> mine;
        for (const auto& row : rows) {
          nlohmann::json dumped = nlohmann::json::array();
          for (const auto& column : table_json["columns"]) dumped.push_back(AsDumped(row.at(position.at(column["name"]))));
          mine.push_back(dumped);
        }
        const auto& theirs = table_json["rows"];
        ASSERT_EQ(mine.size(), theirs.size());
        // The other reader may visit rows in another order; match each of its rows to one of ours.
        std::vector<bool> used(mine.size());
        for (const auto& their_row : theirs) {
          bool found = false;
          for (size_t i = 0; i < mine.size() && !found; ++i) {
            if (used[i] || mine[i].size() != their_row.size()) continue;
            bool same = true;
            for (size_t k = 0; k < their_row.size() && same; ++k) same = SameDumpedValue(mine[i][k], their_row[k]);
            if (same) used[i] = found = true;
          }
          EXPECT_TRUE(found) << "no decoded row matches " << their_row.dump().substr(0, 400)
                             << (mine.empty() ? "" : "\n first decoded row: " + mine[0].dump().substr(0, 400));
          ++rows_checked;
        }
        ++tables_checked;
      }
    }
  }
  EXPECT_GT(files, 20u);
  std::cout << files << " files, " << tables_checked << " tables, " << rows_checked << " rows checked\n";
}

}  // namespace
}  // namespace vantrel::test

namespace vantrel::test {
namespace {

std::vector<uint8_t> WithoutPadding(const jet::TableDef& table, const std::vector<uint8_t>& row, jet::Format format) {
  const jet::RowLayout layout = jet::ReadRowLayout(table, row, format);
  if (layout.variable_offsets.empty()) return row;
  std::vector<uint8_t> out(row.begin(), row.begin() + layout.variable_offsets.back());
  out.insert(out.end(), row.begin() + static_cast<std::ptrdiff_t>(layout.trailer_start), row.end());
  return out;
}

// Re-encoding what Access wrote gives back the same values, and for rows without long values
// stored outside them the same bytes: the encoder lays rows out as Access does.
TEST(CorpusRows, ReencodedRowsMatchAccessOutput) {
  VANTREL_REQUIRE_CORPUS();
  size_t identical = 0, compared = 0, differing = 0, long_value_placed = 0, other_layout = 0, stale_null_bytes = 0,
         deleted_columns = 0, padded = 0;
  for (const auto& mdb : CorpusFiles()) {
    SCOPED_TRACE(mdb.filename().string());
    FilePages pages(mdb);
    for (const auto& [name, page] : TablePages(pages)) {
      SCOPED_TRACE(name);
      jet::TableDef table = ReadTableDef(pages, page);
      const jet::DecodeContext decode{pages.format(), 1252, &pages};
      MemoryPages placed(pages.format());
      const jet::EncodeContext encode{pages.format(), 1252, [&](jet::LongValueImage& image) { placed.Place(image); }};
      for (const auto& bytes : ReadAllRowBytes(pages, table)) {
        const jet::Row row = jet::DecodeRow(table, bytes, decode);
        std::vector<uint8_t> again;
        ASSERT_NO_THROW(again = jet::EncodeRow(table, row, encode));
        ASSERT_EQ(jet::DecodeRow(table, again, {pages.format(), 1252, &placed}), row);
        ++compared;
        bool has_long_value = false;
        for (size_t i = 0; i < table.columns.size(); ++i) {
          const uint8_t type = table.columns[i].type;
          has_long_value |= (type == 0x0B || type == 0x0C) && !jet::IsNull(row[i]);
        }
        // Access leaves old bytes in the fixed space of a Null value; the encoder writes zeros.
        std::vector<uint8_t> cleaned = bytes;
        const size_t fixed_start = pages.format() == jet::Format::kJet3 ? 1 : 2;
        for (size_t i = 0; i < table.columns.size(); ++i) {
          const jet::ColumnDef& column = table.columns[i];
          if (!column.fixed() || column.type == 0x01 || !jet::IsNull(row[i])) continue;
          const size_t at = fixed_start + column.fixed_offset;
          if (at + column.length <= cleaned.size()) std::fill_n(cleaned.begin() + static_cast<std::ptrdiff_t>(at), column.length, 0);
        }
        if (again == bytes) {
          ++identical;
        } else if (table.max_columns > table.columns.size()) {
          ++deleted_columns;  // Access keeps deleted columns' old values; new rows carry them as Null
        } else if (again == cleaned) {
          ++stale_null_bytes;
        } else if (WithoutPadding(table, bytes, pages.format()) == again) {
          ++padded;  // Access sometimes leaves two bytes between the variable data and the trailer
        } else if (has_long_value) {
          // Out-of-row values point at other pages than Access chose; the layouts should agree.
          ++long_value_placed;
          const jet::RowLayout theirs = jet::ReadRowLayout(table, bytes, pages.format());
          const jet::RowLayout mine = jet::ReadRowLayout(table, again, pages.format());
          for (const jet::ColumnDef& column : table.columns) {
            if ((column.type != 0x0B && column.type != 0x0C) || !theirs.NullMaskBit(column.number)) continue;
            const auto a = theirs.ValueBytes(column), b = mine.ValueBytes(column);
            if (a && b && a->size() >= 4 && b->size() >= 4 && ((*a)[3] & 0xC0) != ((*b)[3] & 0xC0)) {
              ++other_layout;
            }
          }
        } else if (differing++ < 5) {
          std::cout << name << ": " << jet::FormatBinary(bytes).substr(0, 200) << "\n   mine: "
                    << jet::FormatBinary(again).substr(0, 200) << "\n";
        }
      }
    }
  }
  std::cout << identical << " of " << compared << " rows re-encoded byte for byte, " << long_value_placed
            << " differ where long values are placed (" << other_layout << " values in another layout than Access's), " << stale_null_bytes
            << " only in the stale bytes of Null fixed values, " << deleted_columns << " in deleted columns, " << padded
            << " only in padding before the trailer\n";
  EXPECT_EQ(differing, 0u);
}

}  // namespace
}  // namespace vantrel::test
