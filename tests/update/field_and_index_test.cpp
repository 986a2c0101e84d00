#include "tests/update/update_fixture.h"

namespace vantrel::test {
namespace {

using FieldAndIndexTest = UpdatePassTest;

std::vector<std::string> FieldNames(const FakeTable& table) {
  std::vector<std::string> names;
  for (const FakeField& field : table.fields) names.push_back(field.name);
  return names;
}

TEST_F(FieldAndIndexTest, ObsoleteIndexesGoBeforeObsoleteFieldsUnderTheReferenceName) {
  FakeTable local{.name = "anagrafica",
                  .fields = {Long("ID"), Text("NOME", 50), Text("VECCHIO", 10)},
                  .indexes = {FakeIndex{.name = "pk_Codice ", .fields = {"ID"}},
                              FakeIndex{.name = "IdxVecchio", .fields = {"VECCHIO"}},
                              FakeIndex{.name = "IdxNome", .fields = {"NOME"}}}};
  FakeTable reference{.name = "Anagrafica",
                      .fields = {Long("ID"), Text("NOME", 50)},
                      .indexes = {FakeIndex{.name = "PK_CODICE", .fields = {"ID"}}}};
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {local}});
  ExpectSuccess();
  EXPECT_EQ(window.lines, (std::vector<std::string>{"Tabella  Anagrafica : Eliminato Indice -> IdxVecchio",
                                                    "Tabella  Anagrafica : Eliminato Indice -> IdxNome",
                                                    "Tabella  Anagrafica : Eliminato  Campo -> VECCHIO"}));
  const FakeTable* after = LocalTable("anagrafica");
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(FieldNames(*after), (std::vector<std::string>{"ID", "NOME"}));
  ASSERT_EQ(after->indexes.size(), 1u);
  EXPECT_EQ(after->indexes[0].name, "pk_Codice ");
}

TEST_F(FieldAndIndexTest, NewFieldsAreAddedWithTheirPropertiesAndFilledByType) {
  FakeField memo{.name = "NOTE", .type = 12, .size = 0, .allow_zero_length = true, .default_value = "\"x\"",
                 .ordinal_position = 5, .required = true, .validation_rule = "<> ''", .validation_text = "vuoto"};
  FakeTable reference = Anagrafica();
  reference.name = "Tab 1";
  reference.fields.push_back(Text("Campo x", 30));
  reference.fields.push_back(memo);
  reference.fields.push_back(OfType("ATTIVO", 1));
  reference.fields.push_back(OfType("DATA", 8));
  FakeTable local = Anagrafica();
  local.name = "TAB 1";
  local.fields[1].name = " nome ";  // same field by the name rule: not re-created
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {local}});
  ExpectSuccess();
  EXPECT_EQ(window.lines, (std::vector<std::string>{"Tabella  Tab 1 :     Nuovo  Campo -> Campo x",
                                                    "Tabella  Tab 1 :     Nuovo  Campo -> NOTE",
                                                    "Tabella  Tab 1 :     Nuovo  Campo -> ATTIVO",
                                                    "Tabella  Tab 1 :     Nuovo  Campo -> DATA"}));
  EXPECT_EQ(Local().statements,
            (std::vector<std::string>{"UPDATE [Tab 1] SET [Campo x] = ' '", "UPDATE [Tab 1] SET [NOTE] = ' '",
                                      "UPDATE [Tab 1] SET [ATTIVO] = 0", "UPDATE [Tab 1] SET [DATA] = 0"}));
  const FakeTable* after = LocalTable("TAB 1");
  ASSERT_NE(after, nullptr);
  ASSERT_EQ(after->fields.size(), 6u);
  EXPECT_EQ(after->fields[2].size, 30);
  const FakeField& note = after->fields[3];
  EXPECT_EQ(note.type, 12);
  EXPECT_TRUE(note.allow_zero_length);  // copied from the reference for a stored table
  EXPECT_EQ(note.default_value, "\"x\"");
  EXPECT_EQ(note.ordinal_position, 5);
  EXPECT_TRUE(note.required);
  EXPECT_EQ(note.validation_rule, "<> ''");
  EXPECT_EQ(note.validation_text, "vuoto");
  EXPECT_FALSE(after->fields[2].allow_zero_length);
}

TEST_F(FieldAndIndexTest, NewFieldTooLongForSixteenBitsStopsThePass) {
  FakeTable reference = Anagrafica();
  reference.fields.push_back(Text("ENORME", 40000));
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {Anagrafica()}});
  ExpectFailureReport("ANAGRAFICA", "Overflow");
  EXPECT_EQ(state.nErrore, 6);
}

TEST_F(FieldAndIndexTest, FieldsEqualByTypeAreLeftAloneWhateverTheirOtherProperties) {
  FakeTable reference = Anagrafica();
  reference.fields.push_back(FakeField{.name = "MEMO", .type = 12, .size = 0});
  reference.fields.push_back(FakeField{.name = "NUM", .type = 4, .size = 4, .default_value = "1", .required = true});
  FakeTable local = Anagrafica();
  local.fields.push_back(FakeField{.name = "MEMO", .type = 12, .size = 99});
  local.fields.push_back(FakeField{.name = "NUM", .type = 4, .size = 8});
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {local}});
  ExpectSuccess();
  EXPECT_TRUE(window.lines.empty());
  EXPECT_FALSE(LocalTable("ANAGRAFICA")->fields[3].required);
}

TEST_F(FieldAndIndexTest, IndexesAgreeingByNameCountAndFieldNamesStay) {
  FakeTable reference{.name = "T",
                      .fields = {Long("A"), Long("B"), Long("C")},
                      .indexes = {FakeIndex{.name = "Due", .primary = true, .unique = true, .fields = {"A", "B"}},
                                  FakeIndex{.name = "Nuovo", .unique = true, .fields = {"C", "A"}}}};
  FakeTable local{.name = "T",
                  .fields = {Long("A"), Long("B"), Long("C")},
                  .indexes = {FakeIndex{.name = " due", .fields = {"B", "A"}}}};  // order and flags do not count
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {local}});
  ExpectSuccess();
  EXPECT_EQ(window.lines, std::vector<std::string>{"Tabella  T :     Nuovo Indice -> Nuovo"});
  const FakeTable* after = LocalTable("T");
  ASSERT_EQ(after->indexes.size(), 2u);
  EXPECT_EQ(after->indexes[0].name, " due");
  EXPECT_FALSE(after->indexes[0].primary);
  EXPECT_EQ(after->indexes[1].name, "Nuovo");
  EXPECT_FALSE(after->indexes[1].primary);
  EXPECT_TRUE(after->indexes[1].unique);
  EXPECT_EQ(after->indexes[1].fields, (std::vector<std::string>{"C", "A"}));
}

TEST_F(FieldAndIndexTest, DisagreeingIndexesAreDroppedAndCreatedWithOnlyTheCreationLine) {
  FakeTable reference{.name = "T",
                      .fields = {Long("A"), Long("B"), Long("C")},
                      .indexes = {FakeIndex{.name = "Conta", .fields = {"A", "B"}},
                                  FakeIndex{.name = "Campi", .primary = true, .fields = {"A", "C"}}}};
  FakeTable local{.name = "T",
                  .fields = {Long("A"), Long("B"), Long("C")},
                  .indexes = {FakeIndex{.name = "Campi", .fields = {"A", "B"}},  // same count, lacks C
                              FakeIndex{.name = "Conta", .fields = {"A"}}}};     // other count
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {local}});
  ExpectSuccess();
  EXPECT_EQ(window.lines, (std::vector<std::string>{"Tabella  T :     Nuovo Indice -> Conta",
                                                    "Tabella  T :     Nuovo Indice -> Campi"}));
  const FakeTable* after = LocalTable("T");
  ASSERT_EQ(after->indexes.size(), 2u);
  EXPECT_EQ(after->indexes[0].name, "Conta");
  EXPECT_EQ(after->indexes[0].fields, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(after->indexes[1].name, "Campi");
  EXPECT_TRUE(after->indexes[1].primary);
  EXPECT_EQ(after->indexes[1].fields, (std::vector<std::string>{"A", "C"}));
}

TEST_F(FieldAndIndexTest, WideTablesAreMatchedByNameWithoutWalkingTheFieldsForEachField) {
  // The reference has 200 fields, the local table every other one and a field of its own:
  // new fields come in reference order after the kept ones, and the fields are read a few
  // times each, not once per lookup as a walk would (about 15,000 reads here).
  FakeTable reference{.name = "LARGA"};
  FakeTable local{.name = "LARGA"};
  for (int f = 0; f < 200; ++f) {
    reference.fields.push_back(Long("C" + std::to_string(f)));
    if (f % 2 == 0) local.fields.push_back(Long("c" + std::to_string(f)));
  }
  local.fields.push_back(Long("SOLO_LOCALE"));
  int item_reads = 0;
  engine->before_call = [&](const std::string& call) { item_reads += call == "Fields.Item"; };
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {local}});
  ExpectSuccess();
  std::vector<std::string> expected_lines = {"Tabella  LARGA : Eliminato  Campo -> SOLO_LOCALE"};
  std::vector<std::string> expected_fields;
  for (int f = 0; f < 200; f += 2) expected_fields.push_back("c" + std::to_string(f));
  for (int f = 1; f < 200; f += 2) {
    expected_lines.push_back("Tabella  LARGA :     Nuovo  Campo -> C" + std::to_string(f));
    expected_fields.push_back("C" + std::to_string(f));
  }
  EXPECT_EQ(window.lines, expected_lines);
  EXPECT_EQ(FieldNames(*LocalTable("LARGA")), expected_fields);
  EXPECT_LT(item_reads, 3000);
}

TEST_F(FieldAndIndexTest, AReferenceNamingAFieldTwiceMeetsTheFieldItJustAdded) {
  // A walk finds the field the phase has just appended; so must the lookup that replaces it,
  // or the second name would be appended again and refused as a duplicate.
  FakeTable reference{.name = "T", .fields = {Long("ID"), Long("NUOVO"), Long("nuovo")}};
  FakeTable local{.name = "T", .fields = {Long("ID")}};
  Run(FakeSchema{.tables = {reference}}, FakeSchema{.tables = {local}});
  ExpectSuccess();
  EXPECT_EQ(window.lines, (std::vector<std::string>{"Tabella  T :     Nuovo  Campo -> NUOVO"}));
  EXPECT_EQ(FieldNames(*LocalTable("T")), (std::vector<std::string>{"ID", "NUOVO"}));
}

}  // namespace
}  // namespace vantrel::test
