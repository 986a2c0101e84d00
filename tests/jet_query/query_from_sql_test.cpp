#include <gtest/gtest.h>

#include <algorithm>

#include "jet/common/error.h"
#include "jet/query/query_from_sql.h"
#include "jet/query/query_sql.h"
#include "tests/jet_query/corpus_data.h"

namespace jet {
namespace {

namespace qa = query_attribute;

std::vector<QueryRow> RowsOf(const std::vector<QueryRow>& rows, uint8_t attribute) {
  std::vector<QueryRow> found;
  std::copy_if(rows.begin(), rows.end(), std::back_inserter(found), [&](const QueryRow& r) { return r.attribute == attribute; });
  return found;
}

// Storing the SQL a query shows and reading it back must give the same SQL, and the rows that
// carry the query's meaning must be the ones Access stored.
TEST(QueryFromSqlCorpus, EveryCorpusQueryStoresBackToTheSameText) {
  for (const char* file : {"jet4/queryTestV2000.mdb", "jet3/queryTestV1997.mdb"}) {
    for (const auto& [name, stored] : vantrel::test::CorpusQueryRows(file)) {
      SCOPED_TRACE(std::string(file) + " " + name);
      // A pass-through query is told apart by its connect string, not by its text.
      if (QueryTypeOf(stored) == QueryType::kPassThrough) continue;
      const std::string sql = QuerySql(stored);
      const auto rows = QueryRowsFromSql(name, sql);
      EXPECT_EQ(QueryTypeOf(rows), QueryTypeOf(stored));
      EXPECT_EQ(QuerySql(rows), sql);
      for (uint8_t attribute : {qa::kColumn, qa::kParameter, qa::kWhere, qa::kHaving}) {
        const auto mine = RowsOf(rows, attribute), theirs = RowsOf(stored, attribute);
        ASSERT_EQ(mine.size(), theirs.size()) << "attribute " << int{attribute};
        for (size_t i = 0; i < mine.size() && QueryTypeOf(stored) != QueryType::kCrossTab; ++i) {
          EXPECT_EQ(mine[i].expression, theirs[i].expression);
          EXPECT_EQ(mine[i].name1, theirs[i].name1);
          EXPECT_EQ(mine[i].name2, theirs[i].name2);
        }
      }
      // Joins may be listed in another order, but each must be there with its tables and kind.
      auto joins = RowsOf(rows, qa::kJoin), stored_joins = RowsOf(stored, qa::kJoin);
      ASSERT_EQ(joins.size(), stored_joins.size());
      for (const auto& join : stored_joins) {
        EXPECT_TRUE(std::any_of(joins.begin(), joins.end(), [&](const QueryRow& j) {
          return j.expression == join.expression && j.name1 == join.name1 && j.name2 == join.name2 && j.flag == join.flag;
        })) << *join.expression;
      }
    }
  }
}

TEST(QueryFromSql, NamesOptionsAndOrderingSurviveTheRoundTrip) {
  const std::string sql =
      "PARAMETERS [Data inizio] DateTime, Quanti Long;\r\n"
      "SELECT DISTINCT TOP 10 [Ordini Clienti].*, O.[Importo totale] AS [Totale €], \"a,b\" AS Virgola\r\n"
      "FROM [Ordini Clienti] AS O INNER JOIN (Clienti INNER JOIN Zone ON Clienti.Zona = Zone.Id) ON O.Cliente = Clienti.Id\r\n"
      "WHERE (((O.Data)>=[Data inizio]))\r\n"
      "ORDER BY O.Data DESC, Clienti.Nome;";
  const auto rows = QueryRowsFromSql("q", sql);
  EXPECT_EQ(QuerySql(rows), sql);
  const auto tables = RowsOf(rows, qa::kTable);
  ASSERT_EQ(tables.size(), 3u);
  EXPECT_EQ(tables[0].name1, "Ordini Clienti");
  EXPECT_EQ(tables[0].name2, "O");
  const auto orders = RowsOf(rows, qa::kOrderBy);
  ASSERT_EQ(orders.size(), 2u);
  EXPECT_EQ(orders[0].name1, "D");
  EXPECT_FALSE(orders[1].name1.has_value());
}

TEST(QueryFromSql, ActionQueriesKeepTargetsAndAssignments) {
  const auto update = QueryRowsFromSql("u", "UPDATE T SET T.a = \"x=y\", T.b = [p] WHERE T.c Is Null;");
  const auto columns = RowsOf(update, qa::kColumn);
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(columns[0].name2, "T.a");
  EXPECT_EQ(columns[0].expression, "\"x=y\"");
  EXPECT_EQ(QuerySql(update), "UPDATE T\r\nSET T.a = \"x=y\", T.b = [p]\r\nWHERE T.c Is Null;");

  const auto append = QueryRowsFromSql("a", "INSERT INTO [Archivio 2] IN 'C:\\dati\\vecchi.mdb' (x, [y z]) SELECT a, b FROM T;");
  EXPECT_EQ(QuerySql(append), "INSERT INTO [Archivio 2] IN 'C:\\dati\\vecchi.mdb' (x, [y z])\r\nSELECT a, b\r\nFROM T;");

  const auto ddl = QueryRowsFromSql("d", "DROP TABLE Vecchia;");
  EXPECT_EQ(QueryTypeOf(ddl), QueryType::kDataDefinition);
  EXPECT_EQ(QuerySql(ddl), "DROP TABLE Vecchia;");
}

TEST(QueryFromSql, TextThatCannotBeStoredIsRefusedWithItsSyntaxNumber) {
  auto number = [](const std::string& sql) {
    try {
      QueryRowsFromSql("q", sql);
    } catch (const Error& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(number("SELEC a FROM T;"), err::kSyntaxOther);
  EXPECT_EQ(number("SELECT a FROM T WHERE (a = 1;"), err::kSyntaxOther);       // unclosed parenthesis
  EXPECT_EQ(number("SELECT a FROM [T;"), err::kSyntaxOther);                    // unclosed bracket
  EXPECT_EQ(number("SELECT a WHERE a = 1 FROM T;"), err::kSyntaxOther);         // clauses out of order
  EXPECT_EQ(number("SELECT a FROM T; DELETE FROM T;"), err::kSyntaxOther);     // two statements
  EXPECT_EQ(number("SELECT a FROM T INNER JOIN U;"), 3131);                     // join without ON
  EXPECT_EQ(number("SELECT a FROM T IN 'x.mdb';"), 3131);
  EXPECT_EQ(number("INSERT INTO T (a, b) SELECT x FROM U;"), err::kSyntaxInsert);
  EXPECT_EQ(number("INSERT INTO T (a) VALUES (1);"), err::kSyntaxInsert);
  EXPECT_EQ(number("UPDATE T SET = 1;"), err::kSyntaxUpdate);
  EXPECT_EQ(number("PARAMETERS p Text(10); SELECT p FROM T;"), err::kSyntaxOther);
  EXPECT_EQ(number("TRANSFORM Count(a) SELECT b FROM T GROUP BY b PIVOT c IN (1, 2);"), err::kSyntaxOther);
  EXPECT_EQ(number(std::string("SELECT a FROM T\0;", 17)), err::kSyntaxOther);
  // Deep nesting is refused, not followed down the stack.
  std::string deep = "SELECT a FROM " + std::string(5000, '(') + "T" + std::string(5000, ')') + ";";
  EXPECT_NE(number(deep), 0);
}

}  // namespace
}  // namespace jet
