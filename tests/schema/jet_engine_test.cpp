#include "schema/jet_engine.h"

#include <gtest/gtest.h>

#include "jet/common/error.h"
#include "jet/write/database_writer.h"
#include "jet/write/new_database.h"
#include "schema/verify_pass.h"
#include "tests/support/corpus.h"
#include "tests/support/recording_window.h"

namespace {

using vantrel::test::CorpusDir;
using vantrel::test::RecordingWindow;

std::string Corpus(const char* name) { return (CorpusDir() / name).string(); }

std::vector<std::string> Verify(const std::string& reference, const std::string& local, schema::PassState& state) {
  RecordingWindow window;
  state.LPathAgg = reference;
  state.LPathLoc = local;
  schema::VerifyUpdate(state, window, schema::TheEngine());
  return window.lines;
}

TEST(JetEngine, CollectionsShowTheCatalogAsDaoDoes) {
  VANTREL_REQUIRE_CORPUS();
  auto database = schema::TheEngine().Workspaces(0)->OpenDatabase(Corpus("jet4/testV2000.mdb"));
  schema::TableDefs& tables = database->Tables();
  std::vector<std::string> names;
  for (int16_t i = 0; i < tables.Count(); ++i) names.push_back(tables.Item(i)->Name());
  // By name, system tables among them, as DAO enumerates them.
  EXPECT_EQ(names, (std::vector<std::string>{"MSysAccessObjects", "MSysACEs", "MSysObjects", "MSysQueries",
                                             "MSysRelationships", "Table1", "Table2", "Table3", "Table4"}));
  schema::TableDefRef table1 = tables.Item(5);
  EXPECT_EQ(table1->Attributes(), 0);
  schema::FieldRef a = table1->TableFields().Item(0);
  EXPECT_EQ(a->Name(), "A");
  EXPECT_EQ(a->Type(), 10);
  EXPECT_EQ(a->Size(), 50);
  EXPECT_EQ(table1->TableFields().Item(2)->DefaultValue(), "0");
  EXPECT_THROW(table1->TableFields().Item(table1->TableFields().Count()), jet::Error);
  EXPECT_TRUE(table1->TableIndexes().Item(0)->Primary());
  EXPECT_EQ(table1->TableIndexes().Item(0)->IndexFields().Item(0)->Name(), "A");
  database->Close();
}

TEST(JetEngine, VerifyOnRealFiles) {
  VANTREL_REQUIRE_CORPUS();
  schema::PassState same;
  EXPECT_TRUE(Verify(Corpus("jet4/testV2000.mdb"), Corpus("jet4/testV2000.mdb"), same).empty());
  EXPECT_EQ(same.nErrore, 0);

  schema::PassState state;
  const auto lines = Verify(Corpus("jet4/queryTestV2000.mdb"), Corpus("jet4/testV2000.mdb"), state);
  EXPECT_EQ(state.nErrore, 0) << state.sErrore;
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Nuova query: AppendQuery");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Elimino Tabella: Table4"), lines.end());
  // A Jet 3 reference against a Jet 4 local file compares the same way.
  schema::PassState mixed;
  Verify(Corpus("jet3/testV1997.mdb"), Corpus("jet4/testV2000.mdb"), mixed);
  EXPECT_EQ(mixed.nErrore, 0) << mixed.sErrore;
}

TEST(JetEngine, VerifyReportsAPasswordProtectedLocalFile) {
  VANTREL_REQUIRE_CORPUS();
  schema::PassState state;
  const auto lines = Verify(Corpus("jet4/testV2000.mdb"), Corpus("jet4/passwordV2000.mdb"), state);
  EXPECT_EQ(state.nErrore, 3031);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "Impossibile aprire il database " + Corpus("jet4/passwordV2000.mdb") + ": Not a valid password.");
}

}  // namespace

namespace {

TEST(JetEngine, FieldChangesTakeEffectAtOnceAndReachTheFileOnClose) {
  VANTREL_REQUIRE_CORPUS();
  vantrel::test::TempDir dir;
  const std::string path = (dir / "local.mdb").string();
  std::filesystem::copy_file(CorpusDir() / "jet4" / "testV2000.mdb", path);
  {
    schema::DatabaseRef database = schema::TheEngine().Workspaces(0)->OpenDatabase(path);
    schema::TableDefRef table;
    for (int16_t i = 0; i < database->Tables().Count(); ++i)
      if (database->Tables().Item(i)->Name() == "Table1") table = database->Tables().Item(i);
    ASSERT_TRUE(table);
    schema::Fields& fields = table->TableFields();
    const int16_t before = fields.Count();
    schema::FieldRef added = table->CreateField("NOME", 10, 80);
    added->SetDefaultValue("\"Rossi\"");
    added->SetRequired(true);
    fields.Append(added);
    EXPECT_EQ(fields.Count(), before + 1) << "Append takes effect at once";
    schema::FieldRef stored = fields.Item(before);
    EXPECT_EQ(stored->Name(), "NOME");
    EXPECT_EQ(stored->Size(), 80);
    EXPECT_EQ(stored->DefaultValue(), "\"Rossi\"");
    EXPECT_TRUE(stored->Required());
    fields.Item(2)->SetValidationRule(">=0");
    fields.Delete("H");
    EXPECT_EQ(fields.Count(), before);
    try {
      fields.Delete("A");
      FAIL() << "deleted a field of the primary key";
    } catch (const jet::Error& error) {
      EXPECT_EQ(error.number(), jet::err::kFieldInIndex);
    }
    database->Close();
  }
  auto reopened = schema::TheEngine().Workspaces(0)->OpenDatabase(path);
  schema::TableDefRef table = reopened->Tables().Item(5);
  ASSERT_EQ(table->Name(), "Table1");
  schema::Fields& fields = table->TableFields();
  std::vector<std::string> names;
  for (int16_t i = 0; i < fields.Count(); ++i) names.push_back(fields.Item(i)->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"A", "B", "C", "D", "E", "F", "G", "I", "NOME"}));
  EXPECT_EQ(fields.Item(2)->ValidationRule(), ">=0");
  EXPECT_EQ(fields.Item(8)->DefaultValue(), "\"Rossi\"");
  reopened->Close();
}

// A table object keeps what it looked up only while the database stays as it was: after a
// change (here one through another object) it shows the change, and a new definition renamed
// before Append is found under its new name.
TEST(JetEngine, TableObjectsFollowChangesAndRenamedNewTables) {
  vantrel::test::TempDir dir;
  const std::string path = (dir / "local.mdb").string();
  jet::CreateDatabase(path);
  schema::DatabaseRef database = schema::TheEngine().Workspaces(0)->OpenDatabase(path);
  schema::TableDefRef created = database->CreateTableDef("Bozza");
  created->TableFields().Append(created->CreateField("ID", 4, 4));
  created->SetName("Clienti");
  database->Tables().Append(created);
  EXPECT_EQ(created->Name(), "Clienti");
  ASSERT_EQ(created->TableFields().Count(), 1);
  EXPECT_EQ(created->TableFields().Item(0)->Name(), "ID");
  EXPECT_EQ(created->TableIndexes().Count(), 0);

  schema::TableDefRef other;
  for (int16_t i = 0; i < database->Tables().Count(); ++i)
    if (database->Tables().Item(i)->Name() == "Clienti") other = database->Tables().Item(i);
  ASSERT_TRUE(other);
  EXPECT_EQ(other->TableFields().Count(), 1);  // looked up, and kept
  created->TableFields().Append(created->CreateField("Nome", 10, 40));
  EXPECT_EQ(other->TableFields().Count(), 2);
  EXPECT_EQ(other->TableFields().Item(1)->Size(), 40);
  other->SetName("Anagrafica");
  EXPECT_EQ(other->Name(), "Anagrafica");
  EXPECT_EQ(other->TableFields().Item(1)->Name(), "Nome");
  EXPECT_THROW(created->Name(), jet::Error);  // its name is gone, as in DAO's collection
  database->Close();
  EXPECT_THROW(other->Name(), jet::Error);
}

// Field objects of one state of a table are shared; a change makes new ones. A field asked for
// again before the change answers as the first; after a column is deleted the same position
// is the next field, while an object held from before still answers for its own field, and
// one whose field is gone raises 3265, as DAO's would.
TEST(JetEngine, FieldObjectsFollowTheTableAcrossAChange) {
  vantrel::test::TempDir dir;
  const std::string path = (dir / "local.mdb").string();
  jet::CreateDatabase(path);
  schema::DatabaseRef database = schema::TheEngine().Workspaces(0)->OpenDatabase(path);
  schema::TableDefRef table = database->CreateTableDef("T");
  table->TableFields().Append(table->CreateField("ID", 4, 4));
  table->TableFields().Append(table->CreateField("Nome", 10, 40));
  table->TableFields().Append(table->CreateField("Note", 12, 0));
  database->Tables().Append(table);

  schema::Fields& fields = table->TableFields();
  schema::FieldRef first = fields.Item(0);
  schema::FieldRef nome = fields.Item(1);
  EXPECT_EQ(fields.Item(1)->Name(), "Nome");
  EXPECT_EQ(fields.Item(1)->Size(), 40);
  fields.Delete("ID");
  ASSERT_EQ(fields.Count(), 2);
  EXPECT_EQ(fields.Item(0)->Name(), "Nome");
  EXPECT_EQ(fields.Item(1)->Name(), "Note");
  EXPECT_EQ(fields.Item(1)->Type(), 12);
  EXPECT_EQ(nome->Name(), "Nome");
  EXPECT_EQ(nome->Size(), 40);
  try {
    first->Type();
    FAIL() << "a deleted field still answered";
  } catch (const jet::Error& error) {
    EXPECT_EQ(error.number(), jet::err::kItemNotFound);
  }
  EXPECT_THROW(fields.Item(2), jet::Error);
  database->Close();
}

}  // namespace

namespace {

void MakeTable(const std::string& path, const jet::NewTable& table) {
  jet::CreateDatabase(path);
  auto writer = jet::DatabaseWriter::Open(path);
  jet::NewTable spec = table;
  spec.properties.resize(spec.columns.size());
  writer->CreateTable(spec);
  writer->Commit();
}

// The pass reads a Jet table's fields and indexes from the catalog in one go: every kind of
// difference must still come out as the walk item by item writes it, in its order, and a
// name spelt in another case must still pair up.
TEST(JetEngine, VerifyListsFieldAndIndexDifferencesInTheWalksOrder) {
  vantrel::test::TempDir dir;
  const std::string reference = (dir / "reference.mdb").string();
  const std::string local = (dir / "local.mdb").string();
  MakeTable(reference, {"Anagrafe",
                        {{"ID", 4, 0}, {"Nome", 10, 40}, {"Provincia", 10, 20}, {"Note", 12, 0}},
                        {},
                        {{"PrimaryKey", true, true, {"ID"}}, {"IxNome", false, false, {"Nome"}}}});
  MakeTable(local, {"ANAGRAFE",
                    {{"id", 4, 0}, {"Nome", 10, 30}, {"Vecchio", 10, 10}, {"Provincia", 4, 0}},
                    {},
                    {{"PrimaryKey", true, true, {"id"}}, {"IxVecchio", false, false, {"Vecchio"}}}});
  schema::PassState state;
  const auto lines = Verify(reference, local, state);
  EXPECT_EQ(state.nErrore, 0) << state.sErrore;
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Tabella  Anagrafe : Elimino Indice -> IxVecchio",
                       "Tabella  Anagrafe : Elimino  Campo -> Vecchio",
                       "Tabella  Anagrafe : Campo Nome con dimensione diversa: da 30 a 40 - sostituisco ...",
                       "Tabella  Anagrafe : Campo Provincia di tipo diverso: da 'Int. Lungo' a 'Testo' - sostituisco ...",
                       "Tabella  Anagrafe :     Nuovo  Campo: Note",
                   }));
}

// What a collection gives at once is what its items answer one by one.
TEST(JetEngine, FieldFactsAndIndexNamesAreTheItemsAnswers) {
  vantrel::test::TempDir dir;
  const std::string path = (dir / "t.mdb").string();
  MakeTable(path, {"T", {{"ID", 4, 0}, {"Nome", 10, 40}, {"Note", 12, 0}}, {}, {{"PK", true, true, {"ID"}}}});
  auto database = schema::TheEngine().Workspaces(0)->OpenDatabase(path);
  schema::TableDefs& tables = database->Tables();
  schema::TableDefRef table;
  for (int16_t i = 0; i < tables.Count(); ++i)
    if (tables.Item(i)->Name() == "T") table = tables.Item(i);
  ASSERT_TRUE(table);
  std::vector<schema::FieldFacts> facts;
  ASSERT_TRUE(table->TableFields().ReadFacts(facts));
  ASSERT_EQ(facts.size(), static_cast<size_t>(table->TableFields().Count()));
  for (int16_t i = 0; i < table->TableFields().Count(); ++i) {
    const schema::FieldRef field = table->TableFields().Item(i);
    EXPECT_EQ(facts[static_cast<size_t>(i)].name, field->Name());
    EXPECT_EQ(facts[static_cast<size_t>(i)].type, field->Type());
    EXPECT_EQ(facts[static_cast<size_t>(i)].size, field->Size());
  }
  std::vector<std::string_view> names;
  ASSERT_TRUE(table->TableIndexes().ReadNames(names));
  ASSERT_EQ(names, (std::vector<std::string_view>{"PK"}));
  // A definition not yet stored has no catalog to read from: its items are asked one by one.
  schema::TableDefRef detached = database->CreateTableDef("Nuova");
  EXPECT_FALSE(detached->TableFields().ReadFacts(facts));
  EXPECT_FALSE(detached->TableIndexes().ReadNames(names));
  database->Close();
}

TEST(JetEngine, VerifyNamesTheReferenceWhenNeitherFileOpens) {
  VANTREL_REQUIRE_CORPUS();
  vantrel::test::TempDir dir;
  const std::string missing = (dir / "missing.mdb").string();
  // The local file is read while the reference opens; its own failure must not be the one
  // reported when the reference fails too.
  schema::PassState state;
  const auto lines = Verify(missing, Corpus("jet4/passwordV2000.mdb"), state);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("Impossibile aprire il database " + missing + ": ", 0), 0u) << lines[0];
  EXPECT_NE(state.nErrore, 3031);

  schema::PassState only_local;
  const auto local_lines = Verify(Corpus("jet4/testV2000.mdb"), missing, only_local);
  ASSERT_EQ(local_lines.size(), 1u);
  EXPECT_EQ(local_lines[0].rfind("Impossibile aprire il database " + missing + ": ", 0), 0u) << local_lines[0];
}

}  // namespace
