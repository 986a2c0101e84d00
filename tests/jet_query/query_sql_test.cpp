#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "jet/common/error.h"
#include "jet/query/query_sql.h"
#include "tests/jet_query/corpus_data.h"
#include "tests/support/corpus.h"

namespace jet {
namespace {

namespace qa = query_attribute;

// The independent reader writes line breaks as "\n" and keeps the zero Access stores after
// pass-through text; DAO shows "\r\n" and no terminator.
std::string AsDaoShowsIt(std::string text) {
  if (!text.empty() && text.back() == '\0') text.pop_back();
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void ExpectCorpusQueries(const std::string& file, const std::string& expected_name) {
  VANTREL_REQUIRE_CORPUS();
  std::ifstream in(vantrel::test::CorpusDir() / "expected" / expected_name);
  ASSERT_TRUE(in);
  const auto expected = nlohmann::json::parse(in);
  const auto queries = vantrel::test::CorpusQueryRows(file);
  ASSERT_EQ(queries.size(), expected["queries"].size());
  for (const auto& query : expected["queries"]) {
    const std::string name = query["name"];
    SCOPED_TRACE(file + " " + name);
    const auto rows = queries.find(name);
    ASSERT_NE(rows, queries.end());
    EXPECT_STREQ(QueryTypeName(QueryTypeOf(rows->second)), query["type"].get<std::string>().c_str());
    EXPECT_EQ(QuerySql(rows->second), AsDaoShowsIt(query["sql"]));
  }
}

TEST(QuerySqlCorpus, Jet4QueriesReadAsAccessWroteThem) {
  ExpectCorpusQueries("jet4/queryTestV2000.mdb", "jet4-queryTestV2000.json");
}

TEST(QuerySqlCorpus, Jet3QueriesReadAsAccessWroteThem) {
  ExpectCorpusQueries("jet3/queryTestV1997.mdb", "jet3-queryTestV1997.json");
}

QueryRow Row(uint8_t attribute, std::optional<std::string> expression = {}, std::optional<int16_t> flag = {},
             std::optional<std::string> name1 = {}, std::optional<std::string> name2 = {}) {
  QueryRow row;
  row.attribute = attribute;
  row.expression = std::move(expression);
  row.flag = flag;
  row.name1 = std::move(name1);
  row.name2 = std::move(name2);
  return row;
}

std::vector<QueryRow> Framed(std::vector<QueryRow> body) {
  body.insert(body.begin(), Row(qa::kStart, {}, 0));
  body.push_back(Row(qa::kEnd));
  return body;
}

TEST(QuerySql, SelectOptionsParametersAndOrdering) {
  const auto rows = Framed({
      Row(qa::kType, {}, 1),
      Row(qa::kParameter, {}, 4, "Da"),
      Row(qa::kParameter, {}, 8, "[Fino a]"),
      Row(qa::kOptions, {}, query_option::kTop | query_option::kPercent | query_option::kDistinctRow, "25"),
      Row(qa::kTable, {}, {}, "Clienti", "C"),
      Row(qa::kColumn, "C.Nome"),
      Row(qa::kColumn, "Count(*)", 0, "Quanti"),
      Row(qa::kGroupBy, "C.Nome"),
      Row(qa::kOrderBy, "C.Nome", {}, "D"),
      Row(qa::kOrderBy, "Count(*)"),
  });
  EXPECT_EQ(QuerySql(rows),
            "PARAMETERS Da Long, [Fino a] DateTime;\r\n"
            "SELECT DISTINCTROW TOP 25 PERCENT C.Nome, Count(*) AS Quanti\r\n"
            "FROM Clienti AS C\r\n"
            "GROUP BY C.Nome\r\n"
            "ORDER BY C.Nome DESC, Count(*);");
}

TEST(QuerySql, SelectStarAndJoinsAcrossSeparateTableLists) {
  const auto rows = Framed({
      Row(qa::kType, {}, 1),
      Row(qa::kOptions, {}, query_option::kSelectStar),
      Row(qa::kTable, {}, {}, "A"),
      Row(qa::kTable, {}, {}, "B"),
      Row(qa::kTable, {}, {}, "C"),
      Row(qa::kTable, {}, {}, "D"),
      Row(qa::kJoin, "A.x = C.x", join_kind::kLeft, "A", "C"),
      Row(qa::kJoin, "B.y = D.y", join_kind::kRight, "B", "D"),
  });
  EXPECT_EQ(QuerySql(rows), "SELECT *\r\nFROM A LEFT JOIN C ON A.x = C.x, B RIGHT JOIN D ON B.y = D.y;");
}

TEST(QuerySql, UnionWithoutAllAndWithOrdering) {
  const auto rows = Framed({
      Row(qa::kType, {}, 9),
      Row(qa::kOptions, {}, query_option::kUnionDistinct),
      Row(qa::kTable, "SELECT a FROM T1\r\n", {}, {}, "X7YZ_____1"),
      Row(qa::kTable, "SELECT a FROM T2", {}, {}, "X7YZ_____2"),
      Row(qa::kOrderBy, "a"),
  });
  EXPECT_EQ(QuerySql(rows), "SELECT a FROM T1\r\nUNION SELECT a FROM T2\r\nORDER BY a;");
}

TEST(QuerySql, DamagedRowsAreRefusedNotGuessed) {
  EXPECT_THROW(QuerySql(Framed({Row(qa::kTable, {}, {}, "T")})), Error);          // no type row
  EXPECT_THROW(QuerySql(Framed({Row(qa::kType, {}, 42)})), Error);                // unknown type
  EXPECT_THROW(QuerySql(Framed({Row(qa::kType, {}, 9)})), Error);                 // union without parts
  EXPECT_THROW(QuerySql(Framed({Row(qa::kType, {}, 1), Row(qa::kTable, {}, {}, "A"),
                                Row(qa::kJoin, "A.x = Z.x", join_kind::kInner, "A", "Z")})),
               Error);  // join to a table the query does not list
}

}  // namespace
}  // namespace jet
