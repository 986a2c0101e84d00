#include "schema/verify_pass.h"

#include <gtest/gtest.h>

#include "jet/common/error.h"
#include "tests/support/fake_engine.h"
#include "tests/support/recording_window.h"

namespace {

using vantrel::test::FakeEngine;
using vantrel::test::FakeField;
using vantrel::test::FakeIndex;
using vantrel::test::FakeQuery;
using vantrel::test::FakeSchema;
using vantrel::test::FakeTable;
using vantrel::test::RecordingWindow;

constexpr int32_t kSystem = static_cast<int32_t>(0x80000002u);
constexpr int32_t kLinked = 0x40000000;

FakeField Text(const std::string& name, int32_t size) { return FakeField{.name = name, .type = 10, .size = size}; }
FakeField Long(const std::string& name) { return FakeField{.name = name, .type = 4, .size = 4}; }

FakeTable Anagrafica() {
  return FakeTable{.name = "ANAGRAFICA",
                   .fields = {Long("ID"), Text("NOME", 50)},
                   .indexes = {FakeIndex{.name = "PrimaryKey", .primary = true, .unique = true, .fields = {"ID"}}}};
}

FakeSchema WithSystemTables(std::vector<FakeTable> tables) {
  tables.insert(tables.begin(), FakeTable{.name = "MSysObjects", .attributes = kSystem, .fields = {Long("Id")}});
  return FakeSchema{.tables = std::move(tables)};
}

class VerifyPassTest : public ::testing::Test {
 protected:
  void Run(const FakeSchema& reference, const FakeSchema& local) {
    engine.Add("ref.mdb", reference);
    engine.Add("loc.mdb", local);
    state.LPathAgg = "ref.mdb";
    state.LPathLoc = "loc.mdb";
    schema::VerifyUpdate(state, window, engine);
  }

  FakeEngine engine;
  RecordingWindow window;
  schema::PassState state;
};

TEST_F(VerifyPassTest, SameSchemaLeavesAnEmptyPaleRedLogAndClosesBoth) {
  window.lines = {"left over"};
  Run(WithSystemTables({Anagrafica()}), WithSystemTables({Anagrafica()}));
  EXPECT_TRUE(window.lines.empty());
  EXPECT_EQ(window.clears, 1);
  ASSERT_FALSE(window.colours.empty());
  EXPECT_EQ(window.colours.back(), schema::kRunLogPaleRed);
  EXPECT_EQ(state.nErrore, 0);
  EXPECT_EQ(state.sErrore, "");
  EXPECT_EQ(engine.open_count(), 2);
  EXPECT_EQ(engine.close_count(), 2);
  EXPECT_FALSE(state.dbAgg || state.dbLoc || state.wsDAO);
  EXPECT_EQ(window.busy_depth, 0);
  EXPECT_TRUE(window.boxes.empty());
  EXPECT_GE(window.events, 2);  // once before the queries, once per table pair
}

TEST_F(VerifyPassTest, ListsEveryKindOfDifferenceInStepOrder) {
  FakeTable reference_table = Anagrafica();
  reference_table.fields = {Long("ID"), Text("NOME", 100), Text("CITTA", 30), Text("CAP", 5)};
  reference_table.indexes.push_back(FakeIndex{.name = "Nuovo", .fields = {"CITTA"}});  // missing locally: no line
  FakeTable local_table = Anagrafica();
  local_table.fields = {Long("ID"), Text("NOME", 50), Long("CAP"), Text("VECCHIO", 10)};
  local_table.indexes.push_back(FakeIndex{.name = "IdxVecchio", .fields = {"VECCHIO"}});

  FakeSchema reference = WithSystemTables({reference_table, FakeTable{.name = "ARTICOLI", .fields = {Long("ID")}}});
  reference.queries = {FakeQuery{"qClienti", "SELECT 1"}, FakeQuery{"qNuova", "SELECT 2"}};
  FakeSchema local = WithSystemTables({FakeTable{.name = "Collegata", .attributes = kLinked, .fields = {Long("ID")}},
                                       local_table, FakeTable{.name = "Clienti_Tmp ", .fields = {Long("ID")}},
                                       FakeTable{.name = "APPOGGIO_", .fields = {Long("ID")}}});
  local.queries = {FakeQuery{"QCLIENTI ", "SELECT 1"}, FakeQuery{"qVecchia", "SELECT 3"},
                   FakeQuery{"XMiaQuery", "SELECT 4"}};

  Run(reference, local);
  EXPECT_EQ(state.nErrore, 0) << state.sErrore;
  const std::vector<std::string> expected = {
      "Disconnetto: Collegata",
      "Cancello query: qVecchia",
      "Nuova query: qNuova",
      "Elimino Tabella: Collegata",
      "Elimino Tabella: APPOGGIO_",
      "Tabella  ANAGRAFICA : Elimino Indice -> IdxVecchio",
      "Tabella  ANAGRAFICA : Elimino  Campo -> VECCHIO",
      "Tabella  ANAGRAFICA : Campo NOME con dimensione diversa: da 50 a 100 - sostituisco ...",
      "Tabella  ANAGRAFICA :     Nuovo  Campo: CITTA",
      "Tabella  ANAGRAFICA : Campo CAP di tipo diverso: da 'Int. Lungo' a 'Testo' - sostituisco ...",
      "Nuova tabella: ARTICOLI",
  };
  EXPECT_EQ(window.lines, expected);
  // A dry run: neither database changed.
  EXPECT_EQ(engine.Snapshot("loc.mdb").tables.size(), local.tables.size());
  EXPECT_TRUE(engine.Snapshot("loc.mdb").statements.empty());
}

TEST_F(VerifyPassTest, KvoReferenceSkipsTemporaryTablesAndEmptyLocalQueriesListsAllAsNew) {
  state.bKVO = true;
  FakeSchema reference = WithSystemTables({Anagrafica()});
  reference.queries = {FakeQuery{"q1", "SELECT 1"}, FakeQuery{"q2", "SELECT 2"}};
  Run(reference, WithSystemTables({Anagrafica(), FakeTable{.name = "APPOGGIO_", .fields = {Long("ID")}},
                                   FakeTable{.name = "LAVORO_12", .fields = {Long("ID")}},
                                   FakeTable{.name = "LAVORO_05", .fields = {Long("ID")}}}));
  EXPECT_EQ(window.lines,
            (std::vector<std::string>{"Nuova query: q1", "Nuova query: q2", "Elimino Tabella: LAVORO_05"}));
}

TEST_F(VerifyPassTest, TypeWithoutANameStopsTheRunWithSubscriptOutOfRange) {
  FakeTable reference_table = Anagrafica();
  reference_table.fields[1].type = 15;  // a GUID-like type the table has no name for
  Run(WithSystemTables({reference_table, FakeTable{.name = "ARTICOLI", .fields = {Long("ID")}}}),
      WithSystemTables({Anagrafica()}));
  EXPECT_EQ(state.nErrore, 9);
  EXPECT_EQ(state.sErrore, "Subscript out of range");
  EXPECT_TRUE(window.lines.empty());  // ARTICOLI is never reached
  EXPECT_EQ(engine.close_count(), 2);
  EXPECT_EQ(window.busy_depth, 0);
}

TEST_F(VerifyPassTest, EngineFailureInTheComparisonKeepsTheLinesSoFar) {
  engine.before_call = [](const std::string& call) {
    if (call == "Fields.Item") throw jet::Error(3043, "Disk or network error.");
  };
  FakeSchema reference = WithSystemTables({Anagrafica()});
  reference.queries = {FakeQuery{"qNuova", "SELECT 1"}};
  Run(reference, WithSystemTables({Anagrafica()}));
  EXPECT_EQ(window.lines, std::vector<std::string>{"Nuova query: qNuova"});
  EXPECT_EQ(state.nErrore, 3043);
  EXPECT_EQ(state.sErrore, "Disk or network error.");
  EXPECT_EQ(engine.close_count(), 2);
}

TEST_F(VerifyPassTest, ErrorsWhileListingLinkedTablesAreIgnored) {
  int failures = 0;
  engine.before_call = [&](const std::string& call) {
    if (call == "TableDef.Attributes" && failures++ == 0) throw jet::Error(3043, "Disk or network error.");
  };
  Run(WithSystemTables({}), FakeSchema{.tables = {FakeTable{.name = "L1", .attributes = kLinked},
                                                  FakeTable{.name = "L2", .attributes = kLinked}}});
  ASSERT_FALSE(window.lines.empty());
  EXPECT_EQ(window.lines.front(), "Disconnetto: L2");
  EXPECT_EQ(state.nErrore, 0);
}

TEST_F(VerifyPassTest, MissingLocalDatabaseIsReportedAndNothingStaysOpen) {
  engine.Add("ref.mdb", WithSystemTables({Anagrafica()}));
  state.LPathAgg = "ref.mdb";
  state.LPathLoc = "manca.mdb";
  schema::VerifyUpdate(state, window, engine);
  EXPECT_NE(state.nErrore, 0);
  ASSERT_EQ(window.lines.size(), 1u);
  EXPECT_EQ(window.lines[0].rfind("Impossibile aprire il database manca.mdb: ", 0), 0u) << window.lines[0];
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].style, 16);
  EXPECT_EQ(engine.open_count(), engine.close_count());
  EXPECT_FALSE(state.dbAgg || state.dbLoc || state.wsDAO);
  EXPECT_EQ(window.busy_depth, 0);
}

// The work after the comparison (the cli's data-loss preview) shares the pass's open databases:
// it must see both while they are open, never after a failed pass, and must not keep them
// open when it fails.
TEST_F(VerifyPassTest, WorkAfterTheComparisonSeesBothDatabasesOpenOnlyAfterSuccess) {
  engine.Add("ref.mdb", WithSystemTables({Anagrafica()}));
  engine.Add("loc.mdb", WithSystemTables({}));
  state.LPathAgg = "ref.mdb";
  state.LPathLoc = "loc.mdb";
  std::vector<std::string> seen;
  int closed_meanwhile = -1;
  schema::VerifyUpdate(state, window, engine, [&](schema::Database& reference, schema::Database& local) {
    seen = {reference.Name(), local.Name()};
    closed_meanwhile = engine.close_count();
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"ref.mdb", "loc.mdb"}));
  EXPECT_EQ(closed_meanwhile, 0);
  EXPECT_EQ(engine.close_count(), 2);
  EXPECT_EQ(window.lines, std::vector<std::string>{"Nuova tabella: ANAGRAFICA"});

  bool ran = false;
  state.LPathLoc = "manca.mdb";
  schema::VerifyUpdate(state, window, engine, [&](schema::Database&, schema::Database&) { ran = true; });
  EXPECT_NE(state.nErrore, 0);
  EXPECT_FALSE(ran);

  engine.before_call = [](const std::string& call) {
    if (call == "Fields.Item") throw jet::Error(3043, "Disk or network error.");
  };
  state.LPathLoc = "loc.mdb";
  engine.Add("loc.mdb", WithSystemTables({Anagrafica()}));
  schema::VerifyUpdate(state, window, engine, [&](schema::Database&, schema::Database&) { ran = true; });
  EXPECT_EQ(state.nErrore, 3043);
  EXPECT_FALSE(ran);
}

TEST_F(VerifyPassTest, FailingWorkAfterTheComparisonStillClosesBoth) {
  engine.Add("ref.mdb", WithSystemTables({Anagrafica()}));
  engine.Add("loc.mdb", WithSystemTables({Anagrafica()}));
  state.LPathAgg = "ref.mdb";
  state.LPathLoc = "loc.mdb";
  EXPECT_THROW(schema::VerifyUpdate(state, window, engine,
                                    [](schema::Database&, schema::Database&) {
                                      throw jet::Error(3049, "Database is damaged.");
                                    }),
               jet::Error);
  EXPECT_EQ(state.nErrore, 0);
  EXPECT_EQ(engine.open_count(), engine.close_count());
  EXPECT_FALSE(state.dbAgg || state.dbLoc || state.wsDAO);
  EXPECT_EQ(window.busy_depth, 0);
}

TEST(ErrorNumberForState, NumbersBeyondSixteenBitsStayFailures) {
  EXPECT_EQ(schema::ErrorNumberForState(3265), 3265);
  EXPECT_NE(schema::ErrorNumberForState(-2147217900), 0);
  EXPECT_NE(schema::ErrorNumberForState(65536), 0);
}

}  // namespace
