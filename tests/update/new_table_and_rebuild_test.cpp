#include "tests/update/update_fixture.h"

namespace vantrel::test {
namespace {

using NewTableAndRebuildTest = UpdatePassTest;

FakeTable Ordini(int32_t size) {
  return FakeTable{.name = "ORDINI",
                   .fields = {Long("ID"), Text("CLIENTE", size)},
                   .indexes = {FakeIndex{.name = "PrimaryKey", .primary = true, .unique = true, .fields = {"ID"}},
                               FakeIndex{.name = "Cliente", .fields = {"CLIENTE", "ID"}}}};
}

TEST_F(NewTableAndRebuildTest, MissingTableIsCreatedWithFieldsIndexesAndOneLine) {
  FakeTable reference{
      .name = "Nuova Tab",
      .fields = {FakeField{.name = "ID", .type = 4, .size = 4, .allow_zero_length = false, .ordinal_position = 1,
                           .required = true},
                 FakeField{.name = "DESCR", .type = 10, .size = 80, .allow_zero_length = false,
                           .default_value = "\"-\"", .ordinal_position = 2, .validation_rule = "Is Not Null",
                           .validation_text = "obbligatorio"}},
      .indexes = {FakeIndex{.name = "PrimaryKey", .primary = true, .unique = true, .fields = {"ID"}},
                  FakeIndex{.name = "Descr", .fields = {"DESCR", "ID"}}}};
  FakeTable no_indexes{.name = "Semplice", .fields = {Long("A")}};
  Run(FakeSchema{.tables = {MSysObjects(), reference, no_indexes}}, FakeSchema{.tables = {MSysObjects()}});
  ExpectSuccess();
  EXPECT_EQ(window.lines, (std::vector<std::string>{"Nuova tabella Nuova Tab", "Nuova tabella Semplice"}));
  const FakeTable* created = LocalTable("Nuova Tab");
  ASSERT_NE(created, nullptr);
  ASSERT_EQ(created->fields.size(), 2u);
  EXPECT_TRUE(created->fields[0].allow_zero_length);  // for every field of a new table
  EXPECT_TRUE(created->fields[1].allow_zero_length);
  EXPECT_TRUE(created->fields[0].required);
  EXPECT_EQ(created->fields[1].size, 80);
  EXPECT_EQ(created->fields[1].default_value, "\"-\"");
  EXPECT_EQ(created->fields[1].ordinal_position, 2);
  EXPECT_EQ(created->fields[1].validation_rule, "Is Not Null");
  EXPECT_EQ(created->fields[1].validation_text, "obbligatorio");
  ASSERT_EQ(created->indexes.size(), 2u);
  EXPECT_TRUE(created->indexes[0].primary);
  EXPECT_TRUE(created->indexes[0].unique);
  EXPECT_EQ(created->indexes[1].fields, (std::vector<std::string>{"DESCR", "ID"}));
  EXPECT_TRUE(LocalTable("Semplice")->indexes.empty());
  EXPECT_TRUE(Local().statements.empty());  // a new table is empty: nothing to fill
}

TEST_F(NewTableAndRebuildTest, FailedStoreOfANewTableNamesItAndLeavesNoTable) {
  FailCall("TableDefs.Append", 1);
  Run(FakeSchema{.tables = {Anagrafica()}}, FakeSchema{});
  ExpectFailureReport("ANAGRAFICA", "Engine refused");
  EXPECT_EQ(window.lines, std::vector<std::string>{"Nuova tabella ANAGRAFICA"});
  EXPECT_TRUE(LocalTableNames().empty());
}

TEST_F(NewTableAndRebuildTest, TextSizeChangeRebuildsRestartsAndRecreatesTheIndexes) {
  FakeTable reference = Ordini(20);
  reference.name = "Ordini";
  FakeTable local = Ordini(10);
  local.fields.push_back(Text("EXTRA", 5));
  Run(FakeSchema{.tables = {Anagrafica(), reference}}, FakeSchema{.tables = {Anagrafica(), local}});
  ExpectSuccess();
  EXPECT_EQ(window.lines,
            (std::vector<std::string>{"Tabella  Ordini : Eliminato  Campo -> EXTRA",
                                      "Tabella  Ordini : Campo CLIENTE con dimensione diversa: da 10 a 20 - sostituisco ...",
                                      "Tabella  Ordini :     Nuovo Indice -> PrimaryKey",
                                      "Tabella  Ordini :     Nuovo Indice -> Cliente"}));
  EXPECT_EQ(Local().statements,
            std::vector<std::string>{"INSERT INTO [Ordini1] SELECT [Ordini].* FROM [Ordini]"});
  EXPECT_EQ(LocalTableNames(), (std::vector<std::string>{"ANAGRAFICA", "Ordini"}));
  const FakeTable* after = LocalTable("Ordini");
  EXPECT_EQ(after->fields[1].size, 20);
  EXPECT_TRUE(after->fields[1].allow_zero_length);
  EXPECT_EQ(after->indexes.size(), 2u);
}

TEST_F(NewTableAndRebuildTest, TypeChangeLineNamesBothTypesAndNewFieldsBeforeItComeFirst) {
  FakeTable reference{.name = "T", .fields = {Long("A"), Text("NUOVO", 10), OfType("N", 4), Text("Z", 5)}};
  FakeTable local{.name = "T", .fields = {Long("A"), OfType("N", 3), Text("Z", 9)}};
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {local}});
  ExpectSuccess();
  // The rebuild takes every field from the reference: Z is never looked at on its own.
  EXPECT_EQ(window.lines,
            (std::vector<std::string>{"Tabella  T :     Nuovo  Campo -> NUOVO",
                                      "Tabella  T : Campo N di tipo diverso: da 'Intero' a 'Int. Lungo' - sostituisco ..."}));
  EXPECT_EQ(Local().statements, (std::vector<std::string>{"UPDATE [T] SET [NUOVO] = ' '",
                                                          "INSERT INTO [T1] SELECT [T].* FROM [T]"}));
  EXPECT_EQ(LocalTable("T")->fields[3].size, 5);
}

TEST_F(NewTableAndRebuildTest, UnnamedTypeInADifferenceStopsThePassWithSubscriptOutOfRange) {
  Run(FakeSchema{.tables = {FakeTable{.name = "T", .fields = {OfType("A", 15)}}}},
      FakeSchema{.tables = {FakeTable{.name = "T", .fields = {OfType("A", 4)}}}});
  ExpectFailureReport("T", "Subscript out of range");
  EXPECT_EQ(state.nErrore, 9);
}

TEST_F(NewTableAndRebuildTest, ReferenceTableBearingTheTemporaryNameKeepsItsLocalTable) {
  FakeTable ordini1{.name = "ORDINI1", .fields = {Long("ID"), Text("NOTA", 30)}};
  Run(FakeSchema{.tables = {Ordini(20), ordini1}}, FakeSchema{.tables = {Ordini(10), ordini1}});
  ExpectSuccess();
  EXPECT_EQ(Local().statements,
            std::vector<std::string>{"INSERT INTO [ORDINI2] SELECT [ORDINI].* FROM [ORDINI]"});
  EXPECT_EQ(LocalTableNames(), (std::vector<std::string>{"ORDINI1", "ORDINI"}));
  EXPECT_EQ(LocalTable("ORDINI1")->fields.size(), 2u);
}

TEST_F(NewTableAndRebuildTest, LeftoverOfAnEarlierRebuildIsRemovedOnlyWhenNamedExactly) {
  // A KVO work-table name survives the removal of tables the reference lacks.
  FakeTable reference{.name = "T_1", .fields = {Long("A"), Text("B", 20)}};
  FakeTable local{.name = "T_1", .fields = {Long("A"), Text("B", 10)}};
  FakeTable leftover{.name = "T_11", .fields = {Long("A")}};
  state.bKVO = true;
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {local, leftover}});
  ExpectSuccess();
  EXPECT_EQ(Local().statements, std::vector<std::string>{"INSERT INTO [T_11] SELECT [T_1].* FROM [T_1]"});
  EXPECT_EQ(LocalTableNames(), std::vector<std::string>{"T_1"});

  engine = std::make_unique<FakeEngine>();
  window = RecordingWindow();
  leftover.name = "t_11";  // equal only with letter case ignored: not ours to remove
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {local, leftover}});
  ExpectSuccess();
  EXPECT_EQ(Local().statements, std::vector<std::string>{"INSERT INTO [T_12] SELECT [T_1].* FROM [T_1]"});
  EXPECT_EQ(LocalTableNames(), (std::vector<std::string>{"t_11", "T_1"}));
}

TEST_F(NewTableAndRebuildTest, RejectedCopyKeepsTheOldTableAndTheTemporaryOne) {
  FailCall("Database.Execute", 1, 3134, "Syntax error in INSERT INTO statement.");
  Run(FakeSchema{.tables = {Ordini(20)}}, FakeSchema{.tables = {Ordini(10)}});
  ExpectFailureReport("ORDINI", "Syntax error in INSERT INTO statement.");
  EXPECT_EQ(state.nErrore, 3134);
  EXPECT_EQ(LocalTableNames(), (std::vector<std::string>{"ORDINI", "ORDINI1"}));
  EXPECT_EQ(LocalTable("ORDINI")->fields[1].size, 10);
}

TEST_F(NewTableAndRebuildTest, FailedRemovalOfTheOldTableIsReportedNotRepeated) {
  FailCall("TableDefs.Delete", 1, 3211, "The database engine couldn't lock table.");
  Run(FakeSchema{.tables = {Ordini(20)}}, FakeSchema{.tables = {Ordini(10)}});
  ExpectFailureReport("ORDINI", "The database engine couldn't lock table.");
  EXPECT_EQ(state.nErrore, 3211);
  EXPECT_EQ(Local().statements.size(), 1u);
  EXPECT_EQ(LocalTableNames(), (std::vector<std::string>{"ORDINI", "ORDINI1"}));
}

TEST_F(NewTableAndRebuildTest, FailedRenameOfTheCopySaysWhereTheRowsAre) {
  FailCall("TableDef.Name=", 1, 3211, "The database engine couldn't lock table.");
  Run(FakeSchema{.tables = {Ordini(20)}}, FakeSchema{.tables = {Ordini(10)}});
  ExpectFailureReport("ORDINI",
                      "The database engine couldn't lock table. (the rows of ORDINI are in table ORDINI1)");
  EXPECT_EQ(state.nErrore, 3211);
  EXPECT_EQ(LocalTableNames(), std::vector<std::string>{"ORDINI1"});
}

TEST_F(NewTableAndRebuildTest, TableThatStillDiffersAfterItsRebuildStopsThePass) {
  // Two reference spellings of one local table, each asking for another size: every rebuild
  // undoes the other, and the walk must not go round for ever.
  FakeTable other = Ordini(30);
  other.name = "Ordini";
  Run(FakeSchema{.tables = {Ordini(20), other}}, FakeSchema{.tables = {Ordini(10)}});
  ExpectFailureReport("Ordini", "Table Ordini still differs after rebuild");
  EXPECT_EQ(Local().statements.size(), 1u);
}

}  // namespace
}  // namespace vantrel::test
