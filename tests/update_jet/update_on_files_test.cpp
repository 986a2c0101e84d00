// The update pass on real files through the jet engine: a local copy of an Access sample and
// a reference made from it with the engine, brought in line and checked afterwards by the
// engine's checker and by mdbtools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>

#include "jet/check/database_check.h"
#include "jet/core/database.h"
#include "jet/write/database_writer.h"
#include "jet/write/new_database.h"
#include "schema/engine.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"
#include "tests/support/recording_window.h"
#include "update/update_pass.h"

namespace vantrel::test {
namespace {

namespace fs = std::filesystem;

// Rows of a table as text, field by field, for the named fields only.
std::vector<std::vector<std::string>> RowsOf(const fs::path& path, const std::string& table,
                                             const std::vector<std::string>& fields) {
  auto database = jet::Database::Open(path);
  const jet::TableInfo* info = database->FindTable(table);
  std::vector<std::vector<std::string>> rows;
  if (!info) return rows;
  auto cursor = database->Rows(*info);
  jet::Row row;
  while (cursor.Next(row)) {
    std::vector<std::string> values;
    for (const std::string& field : fields) {
      const jet::FieldInfo* f = info->FindField(field);
      if (!f) {
        values.push_back("<missing>");
        continue;
      }
      const jet::Value& value = row[f->column.position];
      std::visit(
          [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) values.push_back(v);
            else if constexpr (std::is_arithmetic_v<T>) values.push_back(std::to_string(v));
            else if constexpr (std::is_same_v<T, jet::DateTime>) values.push_back(std::to_string(v.days));
            else if constexpr (std::is_same_v<T, jet::Currency>) values.push_back(std::to_string(v.ten_thousandths));
            else values.push_back(std::is_same_v<T, std::monostate> ? "<null>" : "<value>");
          },
          value);
    }
    rows.push_back(values);
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

jet::NewTable CopyOf(const jet::TableInfo& table, const std::string& name) {
  jet::NewTable copy;
  copy.name = name;
  for (const jet::FieldInfo& field : table.fields) {
    copy.columns.push_back({field.name(), field.dao_type, field.size});
    copy.properties.emplace_back();
  }
  return copy;
}

// A sample of the corpus in the format under test: "test" gives jet4/testV2000.mdb or
// jet3/testV1997.mdb.
fs::path Sample(const std::string& format, const std::string& stem) {
  return CorpusDir() / format / (stem + (format == "jet4" ? "V2000.mdb" : "V1997.mdb"));
}

// An empty database of the format: Access's own for Jet 4, one the engine makes for Jet 3
// (the corpus has no empty Access 97 file).
void EmptyDatabase(const std::string& format, const fs::path& path) {
  if (format == "jet4") {
    CopyWritable(CorpusDir() / "jet4" / "emptyV2000.mdb", path);
  } else {
    jet::CreateDatabase(path, jet::Format::kJet3);
  }
}

class UpdateOnFilesTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    reference = dir / "ref.mdb";
    local = dir / "loc.mdb";
    fs::copy_file(Sample(GetParam(), "test"), reference);
    fs::copy_file(Sample(GetParam(), "test"), local);
  }

  schema::PassState Run() {
    schema::PassState state;
    state.LPathAgg = reference.string();
    state.LPathLoc = local.string();
    window = RecordingWindow{};
    update::RunUpdate(state, window, schema::TheEngine());
    return state;
  }

  bool Logged(const std::string& line) const {
    return std::find(window.lines.begin(), window.lines.end(), line) != window.lines.end();
  }

  TempDir dir;
  fs::path reference, local;
  RecordingWindow window;
};

TEST_P(UpdateOnFilesTest, SameSchemaChangesNothingAndTurnsGreen) {
  const auto before = RowsOf(local, "Table1", {"A", "B", "C", "D", "E", "F", "G", "H", "I"});
  const schema::PassState state = Run();
  EXPECT_EQ(state.nErrore, 0) << state.sErrore;
  EXPECT_TRUE(window.lines.empty());
  ASSERT_FALSE(window.colours.empty());
  EXPECT_EQ(window.colours.back(), schema::kRunLogPaleGreen);
  EXPECT_EQ(RowsOf(local, "Table1", {"A", "B", "C", "D", "E", "F", "G", "H", "I"}), before);
}

TEST_P(UpdateOnFilesTest, BringsEveryKindOfChangeAndKeepsTheLocalRows) {
  const std::vector<std::string> kept_fields = {"A", "B", "C", "D", "E", "F", "G", "H", "I"};
  const auto table1_before = RowsOf(local, "Table1", kept_fields);
  const auto table2_rows = RowsOf(local, "Table2", {"column1"}).size();
  ASSERT_FALSE(table1_before.empty());
  {
    // The reference: Table1 with a longer A, a new field and a new index; Table2 with one
    // more field; Table3 gone; a new table; a new query.
    auto ref = jet::DatabaseWriter::Open(reference);
    jet::NewTable table1 = CopyOf(*ref->database().FindTable("Table1"), "Table1 nuova");
    table1.columns[0].size = 80;
    table1.columns.push_back({"NUOVO", 4, 0});
    table1.properties.emplace_back();
    ref->CreateTable(table1);
    ref->Execute("INSERT INTO [Table1 nuova] SELECT [Table1].* FROM [Table1]");
    ref->DeleteTable("Table1");
    ref->RenameTable("Table1 nuova", "Table1");
    ref->CreateIndex("Table1", {"IdxA", false, false, {"A"}});
    ref->AddColumn("Table2", {"Extra", 10, 10});
    ref->DeleteTable("Table3");
    ref->CreateTable({"Nuova", {{"Codice", 10, 12}, {"Valore", 7, 0}}, {{{"Required", true, std::nullopt}}, {}},
                      {{"PrimaryKey", true, true, {"Codice"}}}});
    ref->CreateQuery("Elenco", "SELECT Table1.* FROM Table1;");
    ref->Commit();
    // The local side: a query of its own, an obsolete one, and the table that always stays.
    auto loc = jet::DatabaseWriter::Open(local);
    loc->CreateQuery("xMia", "SELECT Table2.* FROM Table2;");
    loc->CreateQuery("Vecchia", "SELECT Table4.* FROM Table4;");
    loc->CreateTable({"CLIENTI_TMP", {{"ID", 4, 0}}, {{}}, {}});
    loc->Commit();
  }

  const schema::PassState state = Run();
  ASSERT_EQ(state.nErrore, 0) << state.sErrore << (window.boxes.empty() ? "" : "\n" + window.boxes[0].text);
  EXPECT_TRUE(Logged("Eliminata Query -> Vecchia"));
  EXPECT_TRUE(Logged("Nuova query -> Elenco"));
  EXPECT_TRUE(Logged("Eliminata Tabella -> Table3"));
  EXPECT_TRUE(Logged("Tabella  Table1 : Campo A con dimensione diversa: da 50 a 80 - sostituisco ..."));
  EXPECT_TRUE(Logged("Tabella  Table1 :     Nuovo Indice -> IdxA"));
  EXPECT_TRUE(Logged("Tabella  Table2 :     Nuovo  Campo -> Extra"));
  EXPECT_TRUE(Logged("Nuova tabella Nuova"));
  EXPECT_FALSE(Logged("Eliminata Tabella -> CLIENTI_TMP"));
  EXPECT_FALSE(Logged("Eliminata Query -> xMia"));
  EXPECT_EQ(window.colours.back(), schema::kRunLogPaleGreen);

  {
    auto database = jet::Database::Open(local);
    const jet::TableInfo* table1 = database->FindTable("Table1");
    ASSERT_NE(table1, nullptr);
    EXPECT_EQ(table1->FindField("A")->size, 80);
    EXPECT_NE(table1->FindField("NUOVO"), nullptr);
    EXPECT_EQ(database->FindTable("Table3"), nullptr);
    EXPECT_NE(database->FindTable("CLIENTI_TMP"), nullptr);
    EXPECT_NE(database->FindQuery("xMia"), nullptr);
    EXPECT_EQ(database->FindQuery("Vecchia"), nullptr);
    const jet::TableInfo* nuova = database->FindTable("Nuova");
    ASSERT_NE(nuova, nullptr);
    ASSERT_EQ(nuova->indexes.size(), 1u);
    EXPECT_TRUE(nuova->indexes[0].primary);
    EXPECT_TRUE(nuova->FindField("Codice")->Required());
    EXPECT_TRUE(nuova->FindField("Valore")->AllowZeroLength());
  }
  EXPECT_EQ(RowsOf(local, "Table1", kept_fields), table1_before);
  const auto extra = RowsOf(local, "Table2", {"Extra"});
  EXPECT_EQ(extra.size(), table2_rows);
  for (const auto& row : extra) EXPECT_EQ(row[0], " ");
  EXPECT_EQ(CheckErrors(local), std::vector<std::string>{});
  const std::string schema_text = Output("mdb-schema '" + local.string() + "' access 2>/dev/null");
  EXPECT_NE(schema_text.find("[Nuova]"), std::string::npos);
  EXPECT_NE(schema_text.find("Text (80)"), std::string::npos);

  // A second pass finds nothing left to do.
  const schema::PassState again = Run();
  EXPECT_EQ(again.nErrore, 0) << again.sErrore;
  EXPECT_EQ(window.lines, std::vector<std::string>{});
}

TEST_P(UpdateOnFilesTest, NamesWithBlanksAreFilledAndCopied) {
  const std::vector<std::string> fields = {"A", "B", "C", "D", "E", "F", "G", "H", "I"};
  {
    // The reference's "Tab 1" gains "Campo x" before A grows: the fill runs, then the rebuild.
    auto ref = jet::DatabaseWriter::Open(reference);
    jet::NewTable table = CopyOf(*ref->database().FindTable("Table1"), "Tab 1");
    table.columns[0].size = 60;
    table.columns.insert(table.columns.begin(), {"Campo x", 4, 0});
    table.properties.emplace_back();
    ref->CreateTable(table);
    ref->Commit();
    auto loc = jet::DatabaseWriter::Open(local);
    loc->CreateTable(CopyOf(*loc->database().FindTable("Table1"), "Tab 1"));
    loc->Execute("INSERT INTO [Tab 1] SELECT [Table1].* FROM [Table1]");
    loc->Commit();
  }
  const auto before = RowsOf(local, "Tab 1", fields);
  ASSERT_FALSE(before.empty());
  const schema::PassState state = Run();
  ASSERT_EQ(state.nErrore, 0) << state.sErrore;
  EXPECT_TRUE(Logged("Tabella  Tab 1 :     Nuovo  Campo -> Campo x"));
  EXPECT_TRUE(Logged("Tabella  Tab 1 : Campo A con dimensione diversa: da 50 a 60 - sostituisco ..."));
  {
    auto database = jet::Database::Open(local);
    EXPECT_EQ(database->FindTable("Tab 1")->FindField("A")->size, 60);
  }
  EXPECT_EQ(RowsOf(local, "Tab 1", fields), before);
  for (const auto& row : RowsOf(local, "Tab 1", {"Campo x"})) EXPECT_EQ(row[0], "0");
  EXPECT_EQ(CheckErrors(local), std::vector<std::string>{});
}

TEST_P(UpdateOnFilesTest, TableInARelationshipIsReportedInsteadOfRebuiltForever) {
  // Table1 of this sample is tied to Table2 and Table3, so Jet will not drop it and the
  // rebuild cannot swap the tables: the pass must say so, keep the rows, and not loop.
  fs::remove(reference);
  fs::remove(local);
  EmptyDatabase(GetParam(), reference);
  fs::copy_file(Sample(GetParam(), "indexTest"), local);
  for (const fs::path& path : {reference, local})
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  {
    auto source = jet::Database::Open(local);
    auto ref = jet::DatabaseWriter::Open(reference);
    for (const jet::TableInfo& table : source->tables()) {
      if (table.system()) continue;
      jet::NewTable copy = CopyOf(table, table.name);
      for (jet::NewColumn& column : copy.columns)
        if (table.name == "Table1" && column.name == "data") column.size = 80;
      ref->CreateTable(copy);
    }
    ref->Commit();
  }
  const auto before = RowsOf(local, "Table1", {"id", "data"});
  const schema::PassState state = Run();
  EXPECT_NE(state.nErrore, 0);
  ASSERT_FALSE(window.boxes.empty());
  EXPECT_EQ(window.boxes.back().title, "ERRORE in aggiornamento");
  EXPECT_NE(window.boxes.back().text.find("ERRORE in aggiornamento DB: tabella Table1\n"), std::string::npos)
      << window.boxes.back().text;
  EXPECT_EQ(RowsOf(local, "Table1", {"id", "data"}), before);
  EXPECT_EQ(CheckErrors(local), std::vector<std::string>{});
}

TEST_P(UpdateOnFilesTest, MissingLocalDatabaseIsAFailureNotASuccess) {
  local = dir / "manca.mdb";
  const schema::PassState state = Run();
  EXPECT_NE(state.nErrore, 0);
  EXPECT_FALSE(window.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, UpdateOnFilesTest, ::testing::Values("jet4", "jet3"),
                         [](const auto& info) { return info.param; });

// A reference and a local database of different versions: an Access 2000 reference brings
// an Access 97 local database in line and the other way round, and the local file keeps its
// own version.
struct Pair {
  std::string reference, local;
};
void PrintTo(const Pair& pair, std::ostream* out) { *out << pair.reference << " into " << pair.local; }

class CrossVersionUpdateTest : public ::testing::TestWithParam<Pair> {
 protected:
  void SetUp() override {
    if (CorpusDir().empty()) GTEST_SKIP() << "no sample databases";
    CopyWritable(Sample(GetParam().reference, "test"), reference);
    CopyWritable(Sample(GetParam().local, "test"), local);
  }
  schema::PassState Run() {
    schema::PassState state;
    state.LPathAgg = reference.string();
    state.LPathLoc = local.string();
    window = RecordingWindow{};
    update::RunUpdate(state, window, schema::TheEngine());
    return state;
  }
  bool Logged(const std::string& line) const {
    return std::find(window.lines.begin(), window.lines.end(), line) != window.lines.end();
  }
  jet::Format LocalFormat() const { return GetParam().local == "jet3" ? jet::Format::kJet3 : jet::Format::kJet4; }

  TempDir dir;
  fs::path reference = dir / "ref.mdb", local = dir / "loc.mdb";
  RecordingWindow window;
};

TEST_P(CrossVersionUpdateTest, BringsTheChangesAndKeepsTheLocalRowsAndVersion) {
  const std::vector<std::string> kept_fields = {"A", "B", "C", "D", "E", "F", "G", "H", "I"};
  const auto table1_before = RowsOf(local, "Table1", kept_fields);
  ASSERT_EQ(table1_before.size(), 2u);
  {
    auto ref = jet::DatabaseWriter::Open(reference);
    jet::NewTable table1 = CopyOf(*ref->database().FindTable("Table1"), "Table1 nuova");
    table1.columns[0].size = 80;
    table1.columns.push_back({"Città", 4, 0});
    table1.properties.emplace_back();
    ref->CreateTable(table1);
    ref->Execute("INSERT INTO [Table1 nuova] SELECT [Table1].* FROM [Table1]");
    ref->DeleteTable("Table1");
    ref->RenameTable("Table1 nuova", "Table1");
    ref->CreateIndex("Table1", {"IdxA", false, false, {"A"}});
    ref->AddColumn("Table2", {"Extra", 10, 10});
    ref->DeleteTable("Table3");
    ref->CreateTable({"Nuova", {{"Codice", 10, 12}, {"Valore", 7, 0}, {"Nota", 12, 0}},
                      {{{"Required", true, std::nullopt}, {"DefaultValue", std::nullopt, "\"Forlì\""}},
                       {{"ValidationText", std::nullopt, "Più di zero"}}, {}},
                      {{"PrimaryKey", true, true, {"Codice"}}}});
    ref->CreateQuery("Elenco", "SELECT Table1.* FROM Table1 WHERE Table1.A <> 'Perché';");
    ref->Commit();
  }
  const schema::PassState state = Run();
  ASSERT_EQ(state.nErrore, 0) << state.sErrore << (window.boxes.empty() ? "" : "\n" + window.boxes[0].text);
  EXPECT_TRUE(Logged("Nuova query -> Elenco"));
  EXPECT_TRUE(Logged("Eliminata Tabella -> Table3"));
  EXPECT_TRUE(Logged("Tabella  Table1 : Campo A con dimensione diversa: da 50 a 80 - sostituisco ..."));
  EXPECT_TRUE(Logged("Tabella  Table1 :     Nuovo Indice -> IdxA"));
  EXPECT_TRUE(Logged("Tabella  Table2 :     Nuovo  Campo -> Extra"));
  EXPECT_TRUE(Logged("Nuova tabella Nuova"));
  {
    auto database = jet::Database::Open(local);
    EXPECT_EQ(database->format(), LocalFormat());
    const jet::TableInfo* table1 = database->FindTable("Table1");
    ASSERT_NE(table1, nullptr);
    EXPECT_EQ(table1->FindField("A")->size, 80);
    EXPECT_NE(table1->FindField("Città"), nullptr);
    EXPECT_EQ(database->FindTable("Table3"), nullptr);
    EXPECT_NE(database->FindTable("Table2")->FindField("Extra"), nullptr);
    const jet::TableInfo* nuova = database->FindTable("Nuova");
    ASSERT_NE(nuova, nullptr);
    EXPECT_TRUE(nuova->FindField("Codice")->Required());
    EXPECT_EQ(nuova->FindField("Codice")->default_value.value_or(""), "\"Forlì\"");
    EXPECT_EQ(nuova->FindField("Valore")->validation_text.value_or(""), "Più di zero");
    const jet::QueryInfo* query = database->FindQuery("Elenco");
    ASSERT_NE(query, nullptr);
    EXPECT_NE(query->sql.find("'Perché'"), std::string::npos) << query->sql;
  }
  EXPECT_EQ(RowsOf(local, "Table1", kept_fields), table1_before);
  EXPECT_EQ(CheckErrors(local), std::vector<std::string>{});
  const std::string schema_text = Output("mdb-schema '" + local.string() + "' access 2>/dev/null");
  EXPECT_NE(schema_text.find("[Nuova]"), std::string::npos) << schema_text;
  EXPECT_NE(schema_text.find("[Città]"), std::string::npos) << schema_text;
  EXPECT_NE(schema_text.find("Text (80)"), std::string::npos);
  EXPECT_EQ(Output("mdb-export '" + local.string() + "' Table1 2>&1 | wc -l"), "3\n");
  EXPECT_NE(Output("mdb-queries -1 '" + local.string() + "' 2>&1").find("Elenco"), std::string::npos);

  // A second pass finds nothing left to do.
  const schema::PassState again = Run();
  EXPECT_EQ(again.nErrore, 0) << again.sErrore;
  EXPECT_EQ(window.lines, std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Pairs, CrossVersionUpdateTest,
                         ::testing::Values(Pair{"jet4", "jet3"}, Pair{"jet3", "jet4"}),
                         [](const auto& info) { return info.param.reference + "_into_" + info.param.local; });

// An Access 97 database keeps text in its code page (1252 here): a reference object whose
// name or text holds a character that code page lacks stops the pass with the engine's error,
// and the local file stays exactly as it was. (Table and query names outside code page 1252
// cannot be made in the reference here: the engine has no sort weights to index them.)
TEST(CrossVersionUpdate, TextsTheLocalCodePageCannotHoldStopThePassAndChangeNothing) {
  VANTREL_REQUIRE_CORPUS();
  struct Case {
    const char* what;
    std::function<void(jet::DatabaseWriter&)> change;
    int32_t error;
  };
  const std::vector<Case> cases = {
      {"a default value",
       [](jet::DatabaseWriter& ref) {
         ref.CreateTable({"Nuova", {{"Codice", 10, 12}}, {{{"DefaultValue", std::nullopt, "\"\u2603\""}}}, {}});
       },
       3421},
      {"a validation text",
       [](jet::DatabaseWriter& ref) {
         ref.CreateTable({"Nuova", {{"Codice", 4, 4}, {"Nota", 10, 10}},
                          {{}, {{"ValidationRule", std::nullopt, "Is Not Null"}, {"ValidationText", std::nullopt, "\u03A9 only"}}},
                          {}});
       },
       3421},
      {"an index name",
       [](jet::DatabaseWriter& ref) { ref.CreateIndex("Table1", {"Indice \u03A9", false, false, {"C"}}); },
       3125},
      {"the text of a query, after a new table and field the pass could store",
       [](jet::DatabaseWriter& ref) {
         ref.CreateTable({"Buona", {{"Codice", 4, 4}}, {{}}, {}});
         ref.AddColumn("Table2", {"Extra", 10, 10});
         ref.CreateQuery("Elenco", "SELECT Table1.* FROM Table1 WHERE Table1.A = '\u0416';");
       },
       3421},
      {"a field name",
       [](jet::DatabaseWriter& ref) { ref.AddColumn("Table1", {"\u20AC ok \u2126", 4, 4}); },
       3125},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const fs::path reference = dir / "ref.mdb", local = dir / "loc.mdb";
    CopyWritable(Sample("jet4", "test"), reference);
    CopyWritable(Sample("jet3", "test"), local);
    {
      auto ref = jet::DatabaseWriter::Open(reference);
      c.change(*ref);
      ref->Commit();
    }
    const std::string before = FileBytes(local);
    schema::PassState state;
    state.LPathAgg = reference.string();
    state.LPathLoc = local.string();
    RecordingWindow window;
    update::RunUpdate(state, window, schema::TheEngine());
    std::printf("[ refused ] %s: %d %s\n", c.what, state.nErrore, state.sErrore.c_str());
    EXPECT_EQ(state.nErrore, c.error) << state.sErrore;
    EXPECT_NE(state.sErrore.find("code page 1252"), std::string::npos) << state.sErrore;
    ASSERT_FALSE(window.boxes.empty());
    EXPECT_TRUE(FileBytes(local) == before) << "the local database must not change";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2) << "ref.mdb and loc.mdb only";
  }
}

}  // namespace
}  // namespace vantrel::test

namespace vantrel::test {
namespace {

// Tables are listed by name, so a new table moves the local tables after it: the pass must
// still pair each reference table with its own local table, not with whatever now sits at
// the position it had.
TEST_P(UpdateOnFilesTest, NewTablesBeforeOthersDoNotMisplaceTheirPartners) {
  {
    auto ref = jet::DatabaseWriter::Open(reference);
    ref->CreateTable({"AAA Prima", {{"Codice", 4, 0}}, {{}}, {}});
    ref->CreateTable({"AAB Seconda", {{"Codice", 4, 0}}, {{}}, {}});
    ref->AddColumn("Table2", {"Extra", 10, 10});
    ref->Commit();
  }
  const schema::PassState state = Run();
  ASSERT_EQ(state.nErrore, 0) << state.sErrore;
  EXPECT_TRUE(Logged("Nuova tabella AAA Prima"));
  EXPECT_TRUE(Logged("Nuova tabella AAB Seconda"));
  EXPECT_TRUE(Logged("Tabella  Table2 :     Nuovo  Campo -> Extra")) << ::testing::PrintToString(window.lines);
  EXPECT_EQ(std::count_if(window.lines.begin(), window.lines.end(),
                          [](const std::string& line) { return line.find("Nuovo  Campo") != std::string::npos; }),
            1);
  auto database = jet::Database::Open(local);
  ASSERT_NE(database->FindTable("Table2"), nullptr);
  EXPECT_NE(database->FindTable("Table2")->FindField("Extra"), nullptr);
  EXPECT_EQ(database->FindTable("AAA Prima")->FindField("Extra"), nullptr);
  EXPECT_EQ(CheckErrors(local), std::vector<std::string>{});
}

// A field added to a table the local file already has takes the reference field's
// properties with it, as a field of a new table does.
TEST_P(UpdateOnFilesTest, NewFieldOfAStoredTableKeepsItsProperties) {
  {
    auto ref = jet::DatabaseWriter::Open(reference);
    ref->AddColumn("Table2", {"Extra", 10, 10});
    ref->SetColumnProperty("Table2", "Extra", {"DefaultValue", std::nullopt, "\"abc\""});
    ref->SetColumnProperty("Table2", "Extra", {"ValidationRule", std::nullopt, "<> \"zzz\""});
    ref->SetColumnProperty("Table2", "Extra", {"ValidationText", std::nullopt, "Non zzz"});
    ref->SetColumnProperty("Table2", "Extra", {"AllowZeroLength", true, std::nullopt});
    ref->Commit();
  }
  const schema::PassState state = Run();
  ASSERT_EQ(state.nErrore, 0) << state.sErrore;
  ASSERT_TRUE(Logged("Tabella  Table2 :     Nuovo  Campo -> Extra"));
  auto database = jet::Database::Open(local);
  const jet::FieldInfo* extra = database->FindTable("Table2")->FindField("Extra");
  ASSERT_NE(extra, nullptr);
  EXPECT_EQ(extra->default_value.value_or("<none>"), "\"abc\"");
  EXPECT_EQ(extra->validation_rule.value_or("<none>"), "<> \"zzz\"");
  EXPECT_EQ(extra->validation_text.value_or("<none>"), "Non zzz");
  EXPECT_TRUE(extra->AllowZeroLength());
  EXPECT_FALSE(extra->Required());
  EXPECT_EQ(CheckErrors(local), std::vector<std::string>{});
}

}  // namespace
}  // namespace vantrel::test
