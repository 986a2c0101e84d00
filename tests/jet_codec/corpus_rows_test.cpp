#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "jet/core/row_codec.h"
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
