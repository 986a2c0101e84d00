#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "jet/core/database.h"
#include "jet/dump/dump_json.h"
#include "tests/support/corpus.h"

namespace vantrel::test {
namespace {

using nlohmann::json;

// Where the independent reader's dump shows the same value differently from ours:
// - it prints Byte fields signed (255 as -1) and a Single with its own digits;
// - it did not know Jet 3 code pages and shows every non-ASCII character there as U+FFFD;
// - its rowCount is the count stored in the table definition, which Access leaves stale:
//   the number of its rows is the truth, and mdb-export agrees with it.
bool SameValue(const json& mine, const json& theirs) {
  if (mine == theirs) return true;
  if (mine.is_number() && theirs.is_number()) {
    const double a = mine.get<double>(), b = theirs.get<double>();
    if (a == b + 256 && b < 0) return true;
    return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(b));
  }
  if (mine.is_string() && theirs.is_string()) {
    const std::string t = theirs.get<std::string>();
    if (t.find("\xEF\xBF\xBD") == std::string::npos) return false;
    std::string m;
    const std::string raw = mine.get<std::string>();
    for (size_t i = 0; i < raw.size(); ++i) {
      const auto byte = static_cast<uint8_t>(raw[i]);
      if (byte < 0x80) m += raw[i];
      else if ((byte & 0xC0) != 0x80) m += "\xEF\xBF\xBD";
    }
    return m == t;
  }
  return false;
}

std::string WithoutTrailingZero(std::string sql) {
  while (!sql.empty() && sql.back() == '\0') sql.pop_back();
  return sql;
}

std::string UnixLines(const std::string& sql) {
  std::string out;
  for (size_t i = 0; i < sql.size(); ++i)
    if (!(sql[i] == '\r' && i + 1 < sql.size() && sql[i + 1] == '\n')) out += sql[i];
  return out;
}

void ExpectSameTables(const json& mine, const json& theirs, const std::string& where) {
  ASSERT_EQ(mine.size(), theirs.size()) << where;
  for (size_t t = 0; t < theirs.size(); ++t) {
    const json& m = mine[t];
    const json& e = theirs[t];
    const std::string table = where + " " + e["name"].get<std::string>();
    ASSERT_EQ(m["name"], e["name"]) << where;
    ASSERT_EQ(m["columns"].size(), e["columns"].size()) << table;
    for (size_t c = 0; c < e["columns"].size(); ++c) {
      for (const auto& [key, value] : e["columns"][c].items()) {
        if (key == "typeName") continue;
        EXPECT_EQ(m["columns"][c][key], value) << table << " column " << c << " " << key;
      }
    }
    EXPECT_EQ(m["indexes"], e["indexes"]) << table;
    ASSERT_EQ(m["rows"].size(), e["rows"].size()) << table;
    EXPECT_EQ(m["rowCount"].get<size_t>(), e["rows"].size()) << table;
    size_t mismatches = 0;
    for (size_t r = 0; r < e["rows"].size(); ++r)
      for (size_t v = 0; v < e["rows"][r].size(); ++v)
        if (!SameValue(m["rows"][r][v], e["rows"][r][v]) && ++mismatches <= 3)
          ADD_FAILURE() << table << " row " << r << " value " << v << ": " << m["rows"][r][v] << " vs "
                        << e["rows"][r][v];
  }
}

TEST(CorpusDump, EveryFileReadsAsTheIndependentReaderSeesIt) {
  VANTREL_REQUIRE_CORPUS();
  int compared = 0;
  for (const auto& file : CorpusFiles()) {
    if (file.filename() == "passwordV2000.mdb") continue;  // needs its password: see below
    SCOPED_TRACE(file.string());
    std::ifstream in(ExpectedJsonFor(file));
    ASSERT_TRUE(in) << ExpectedJsonFor(file);
    const json expected = json::parse(in);
    auto database = jet::Database::Open(file);
    const json mine = jet::DumpDatabase(*database);
    ExpectSameTables(mine["tables"], expected["tables"], file.filename().string());
    ExpectSameTables(mine["systemTables"], expected["systemTables"], file.filename().string());
    ASSERT_EQ(mine["queries"].size(), expected["queries"].size());
    for (size_t q = 0; q < expected["queries"].size(); ++q) {
      bool found = false;
      for (const json& query : mine["queries"]) {
        if (query["name"] != expected["queries"][q]["name"]) continue;
        found = true;
        EXPECT_EQ(query["type"], expected["queries"][q]["type"]);
        EXPECT_EQ(UnixLines(query["sql"].get<std::string>()),
                  WithoutTrailingZero(expected["queries"][q]["sql"].get<std::string>()));
      }
      EXPECT_TRUE(found) << expected["queries"][q]["name"];
    }
    ++compared;
  }
  EXPECT_GE(compared, 20);
}

TEST(CorpusDump, TablesCarryDaoAttributesSizesAndFieldOrder) {
  VANTREL_REQUIRE_CORPUS();
  auto database = jet::Database::Open(CorpusDir() / "jet4" / "testV2000.mdb");
  const jet::TableInfo* objects = database->FindTable("msysobjects");
  ASSERT_NE(objects, nullptr);
  EXPECT_TRUE(objects->system());
  EXPECT_EQ(static_cast<uint32_t>(objects->attributes) & 0x80000000u, 0x80000000u);
  const jet::TableInfo* access_objects = database->FindTable("MSysAccessObjects");
  ASSERT_NE(access_objects, nullptr);
  EXPECT_TRUE(access_objects->system()) << "flag 2 alone marks a system table";
  const jet::TableInfo* table1 = database->FindTable("Table1");
  ASSERT_NE(table1, nullptr);
  EXPECT_FALSE(table1->system());
  EXPECT_FALSE(table1->linked());
  const jet::FieldInfo* a = table1->FindField("a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->dao_type, 10);
  EXPECT_EQ(a->size, 50);  // characters, although Jet 4 stores 100 bytes
  for (size_t i = 0; i < table1->fields.size(); ++i) EXPECT_EQ(table1->fields[i].ordinal_position, static_cast<int16_t>(i));
}

}  // namespace
}  // namespace vantrel::test
