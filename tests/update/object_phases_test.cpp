#include "tests/update/update_fixture.h"

namespace vantrel::test {
namespace {

using ObjectPhasesTest = UpdatePassTest;

std::vector<std::string> QueryNames(const FakeSchema& schema) {
  std::vector<std::string> names;
  for (const FakeQuery& query : schema.queries) names.push_back(query.name);
  return names;
}

TEST_F(ObjectPhasesTest, QueriesAreRemovedAndCreatedByNameKeepingTheSitesOwn) {
  FakeSchema reference{.queries = {FakeQuery{"Elenco", "SELECT 1"}, FakeQuery{"XNUOVA", "SELECT 2"},
                                   FakeQuery{"Stampa", "SELECT 3"}}};
  FakeSchema local{.queries = {FakeQuery{"VECCHIA", "SELECT 9"}, FakeQuery{"xTemp", "SELECT 8"},
                               FakeQuery{" ELENCO ", "SELECT other"}, FakeQuery{"XCALCOLO", "SELECT 7"}}};
  Run(reference, local);
  ExpectSuccess();
  EXPECT_EQ(window.lines, (std::vector<std::string>{"Eliminata Query -> VECCHIA", "Nuova query -> XNUOVA",
                                                    "Nuova query -> Stampa"}));
  const FakeSchema after = Local();
  EXPECT_EQ(QueryNames(after), (std::vector<std::string>{"xTemp", " ELENCO ", "XCALCOLO", "XNUOVA", "Stampa"}));
  EXPECT_EQ(after.queries[1].sql, "SELECT other");  // a query on both sides is not compared
  EXPECT_EQ(after.queries[4].sql, "SELECT 3");
}

TEST_F(ObjectPhasesTest, LocalDatabaseWithoutQueriesGetsEveryReferenceQuery) {
  Run(FakeSchema{.queries = {FakeQuery{"A", "SELECT 1"}, FakeQuery{"B", "SELECT 2"}}}, FakeSchema{});
  ExpectSuccess();
  EXPECT_EQ(window.lines, (std::vector<std::string>{"Nuova query -> A", "Nuova query -> B"}));
}

TEST_F(ObjectPhasesTest, LinkedTablesDisappearSilentlyAndTheirFailuresDoNotCount) {
  FakeTable linked{.name = "COLLEGATA", .attributes = kLinkedAttributes, .fields = {Long("ID")}};
  FakeTable linked_in_reference = linked;
  linked_in_reference.attributes = 0;
  // The reference has a table of that name: it is created afresh after the link is gone.
  Run(FakeSchema{.tables = {Anagrafica(), linked_in_reference}},
      FakeSchema{.tables = {MSysObjects(), Anagrafica(), linked}});
  ExpectSuccess();
  EXPECT_EQ(window.lines, std::vector<std::string>{"Nuova tabella COLLEGATA"});
  ASSERT_NE(LocalTable("COLLEGATA"), nullptr);
  EXPECT_EQ(LocalTable("COLLEGATA")->attributes, 0);
}

TEST_F(ObjectPhasesTest, FailedRemovalOfALinkedTableIsIgnored) {
  FakeTable linked{.name = "COLLEGATA", .attributes = kLinkedAttributes, .fields = {Long("ID")}};
  FailCall("TableDefs.Delete", 1);
  Run(FakeSchema{.tables = {Anagrafica()}}, FakeSchema{.tables = {Anagrafica(), linked}});
  // Phase 4 then removes it as a table the reference lacks.
  ExpectSuccess();
  EXPECT_EQ(window.lines, std::vector<std::string>{"Eliminata Tabella -> COLLEGATA"});
}

TEST_F(ObjectPhasesTest, KvoWorkTablesSurviveOnlyUnderKvo) {
  FakeSchema local{.tables = {MSysObjects(), Anagrafica(), FakeTable{.name = "T_12", .fields = {Long("A")}},
                              FakeTable{.name = "T_", .fields = {Long("A")}},
                              FakeTable{.name = "T_10", .fields = {Long("A")}},
                              FakeTable{.name = "T_1A", .fields = {Long("A")}},
                              FakeTable{.name = "clienti_tmp ", .fields = {Long("A")}}}};
  FakeSchema reference{.tables = {Anagrafica()}};

  state.bKVO = true;
  Run(reference, local);
  ExpectSuccess();
  EXPECT_EQ(window.lines, (std::vector<std::string>{"Eliminata Tabella -> T_10", "Eliminata Tabella -> T_1A"}));
  EXPECT_EQ(LocalTableNames(),
            (std::vector<std::string>{"MSysObjects", "ANAGRAFICA", "T_12", "T_", "clienti_tmp "}));

  engine = std::make_unique<FakeEngine>();
  window = RecordingWindow();
  state.bKVO = false;
  Run(reference, local);
  ExpectSuccess();
  EXPECT_EQ(window.lines, (std::vector<std::string>{"Eliminata Tabella -> T_12", "Eliminata Tabella -> T_",
                                                    "Eliminata Tabella -> T_10", "Eliminata Tabella -> T_1A"}));
  EXPECT_EQ(LocalTableNames(), (std::vector<std::string>{"MSysObjects", "ANAGRAFICA", "clienti_tmp "}));
}

}  // namespace
}  // namespace vantrel::test
