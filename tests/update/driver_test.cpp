#include "tests/update/update_fixture.h"

namespace vantrel::test {
namespace {

using DriverTest = UpdatePassTest;

TEST_F(DriverTest, SameSchemaWritesNoLineAndEndsPaleGreen) {
  window.lines = {"Nuova tabella: X", " "};  // a verify's lines and the caller's blank line stay
  FakeSchema same{.tables = {MSysObjects(), Anagrafica()}, .queries = {FakeQuery{"Q1", "SELECT 1"}}};
  Run(same, same);
  EXPECT_EQ(window.lines, (std::vector<std::string>{"Nuova tabella: X", " "}));
  EXPECT_EQ(window.clears, 0);
  EXPECT_EQ(window.colours.front(), schema::kRunLogPaleRed);
  ExpectSuccess();
  EXPECT_EQ(state.sErrore, "");
  EXPECT_EQ(engine->open_count(), 2);
  EXPECT_TRUE(Local().statements.empty());
}

TEST_F(DriverTest, MissingLocalFileIsAFailureWithTheReportAndEverythingReleased) {
  engine->Add("ref.mdb", FakeSchema{.tables = {Anagrafica()}});
  state.LPathAgg = "ref.mdb";
  state.LPathLoc = "missing.mdb";
  update::RunUpdate(state, window, *engine);
  ExpectFailureReport("", "Could not find file 'missing.mdb'.");
  EXPECT_EQ(state.nErrore, 3024);
  EXPECT_EQ(engine->open_count(), 1);  // the reference was opened, and closed again
}

TEST_F(DriverTest, ReferenceThatDoesNotOpenLeavesTheLocalUntouched) {
  engine->Add("loc.mdb", FakeSchema{.tables = {Anagrafica()}});
  FailCall("OpenDatabase", 1, 3031, "Not a valid password.");
  state.LPathAgg = "ref.mdb";
  state.LPathLoc = "loc.mdb";
  update::RunUpdate(state, window, *engine);
  ExpectFailureReport("", "Not a valid password.");
  EXPECT_EQ(state.nErrore, 3031);
  EXPECT_EQ(engine->open_count(), 0);
}

TEST_F(DriverTest, FailureBeforeTheWalkNamesNoTable) {
  // Phases 2, 3 and 4 each stop the pass at their first failure.
  struct Case {
    const char* call;
    FakeSchema reference;
    FakeSchema local;
  };
  const Case cases[] = {
      {"QueryDefs.Delete", {}, FakeSchema{.queries = {FakeQuery{"VECCHIA", "SELECT 1"}}}},
      {"Database.CreateQueryDef", FakeSchema{.queries = {FakeQuery{"NUOVA", "SELECT 1"}}}, {}},
      {"TableDefs.Delete", FakeSchema{.tables = {Anagrafica()}},
       FakeSchema{.tables = {Anagrafica(), FakeTable{.name = "VECCHIA", .fields = {Long("ID")}}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    engine = std::make_unique<FakeEngine>();
    window = RecordingWindow();
    FailCall(c.call, 1);
    Run(c.reference, c.local);
    ExpectFailureReport("", "Engine refused");
    EXPECT_EQ(state.nErrore, 3259);
  }
}

TEST_F(DriverTest, FailureInTheWalkNamesTheReferenceTableAsTheReferenceSpellsIt) {
  FakeTable reference = Anagrafica();
  reference.name = "Anagrafica";
  reference.fields.push_back(Long("NUOVO"));
  FailCall("Fields.Append", 1);
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {Anagrafica()}});
  ExpectFailureReport("Anagrafica", "Engine refused");
}

TEST_F(DriverTest, ErrorNumbersBeyondSixteenBitsStillReadAsFailures) {
  FakeTable reference = Anagrafica();
  reference.fields.push_back(Long("NUOVO"));
  for (int32_t number : {65536, -2147217900, 0}) {
    SCOPED_TRACE(number);
    engine = std::make_unique<FakeEngine>();
    window = RecordingWindow();
    FailCall("Database.Execute", 1, number, "Big");
    Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {Anagrafica()}});
    EXPECT_NE(state.nErrore, 0);
    ASSERT_EQ(window.boxes.size(), 1u);
  }
}

TEST_F(DriverTest, NonEngineExceptionIsAFailureToo) {
  FakeTable reference = Anagrafica();
  reference.fields.push_back(Long("NUOVO"));
  engine->before_call = [](const std::string& call) {
    if (call == "Database.Execute") throw std::runtime_error("out of memory");
  };
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {Anagrafica()}});
  ExpectFailureReport("ANAGRAFICA", "out of memory");
}

TEST_F(DriverTest, LocalDatabaseThatFailsToCloseTurnsSuccessIntoFailure) {
  // The changes of a pass may reach the file only at the close.
  FailCall("Database.Close", 1, 3043, "Disk or network error.");
  FakeSchema same{.tables = {Anagrafica()}};
  Run(same, same);
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].text, FailureText("", "Disk or network error."));
  EXPECT_EQ(state.nErrore, 3043);
  EXPECT_EQ(window.colours.back(), schema::kRunLogPaleRed);
  EXPECT_EQ(engine->close_count(), 1);  // the reference is closed all the same
  EXPECT_EQ(state.dbLoc, nullptr);
  EXPECT_EQ(state.dbAgg, nullptr);
  EXPECT_EQ(state.wsDAO, nullptr);
  EXPECT_EQ(window.busy_depth, 0);
}

TEST_F(DriverTest, SystemTablesOfTheReferenceAreNeverCreated) {
  Run(FakeSchema{.tables = {MSysObjects(), Anagrafica()}}, FakeSchema{.tables = {Anagrafica()}});
  ExpectSuccess();
  EXPECT_EQ(LocalTableNames(), std::vector<std::string>{"ANAGRAFICA"});
  EXPECT_TRUE(window.lines.empty());
}

}  // namespace
}  // namespace vantrel::test
