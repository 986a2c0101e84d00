#include "jet/write/compaction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "jet/core/database.h"
#include "jet/dump/dump_json.h"
#include "jet/store/write_session.h"
#include "jet/write/database_writer.h"
#include "tests/support/corpus.h"
#include "tests/support/engine_checks.h"

namespace {

using vantrel::test::CheckErrors;
using vantrel::test::CopyWritable;
using vantrel::test::FileBytes;
using vantrel::test::CorpusFiles;
using vantrel::test::ErrorOf;
using vantrel::test::Output;
using vantrel::test::TempDir;

// The dump without what compaction renumbers: the ids the catalog gives tables are their
// definition pages. The catalog's rows are compared by what they describe instead.
std::string DumpOf(const std::filesystem::path& path) {
  auto dump = jet::DumpDatabase(*jet::Database::Open(path));
  const std::set<std::string> renumbered = {"MSysObjects.Id", "MSysObjects.ParentId", "MSysACEs.ObjectId",
                                            "MSysQueries.ObjectId", "MSysNavPaneObjectIDs.Id",
                                            "MSysNavPaneGroupToObjects.ObjectID"};
  for (auto& table : dump["systemTables"]) {
    if (!table.contains("rows")) continue;
    for (size_t c = 0; c < table["columns"].size(); ++c) {
      if (!renumbered.count(table["name"].get<std::string>() + "." + table["columns"][c]["name"].get<std::string>()))
        continue;
      for (auto& row : table["rows"]) row[c] = "renumbered";
    }
  }
  return dump.dump(1);
}

// The first line where two texts differ, with its number, or "" when they are equal: dumps
// are too long to print whole.
std::string FirstDifference(const std::string& a, const std::string& b) {
  std::istringstream left(a), right(b);
  std::string x, y;
  for (int line = 1;; ++line) {
    const bool more_left = static_cast<bool>(std::getline(left, x));
    const bool more_right = static_cast<bool>(std::getline(right, y));
    if (!more_left && !more_right) return "";
    if (more_left != more_right || x != y)
      return "line " + std::to_string(line) + ": " + x.substr(0, 200) + " | " + y.substr(0, 200);
  }
}

// Access's navigation pane names objects by id; in the copy each id must still be the one the
// catalog gives the object of that name. Returns the names whose id does not match.
std::vector<std::string> StaleNavigationIds(const std::filesystem::path& path) {
  auto database = jet::Database::Open(path);
  std::vector<std::string> stale;
  const jet::TableInfo* ids = database->FindTable("MSysNavPaneObjectIDs");
  if (!ids) return stale;
  jet::Row row;
  for (auto cursor = database->Rows(*ids); cursor.Next(row);) {
    const auto* id = std::get_if<int32_t>(&row.at(0));
    const auto* name = std::get_if<std::string>(&row.at(1));
    if (!id || !name) continue;
    bool found = false;
    for (const auto& object : database->catalog()) found = found || (object.name == *name && object.id == *id);
    if (!found) stale.push_back(*name);
  }
  return stale;
}

std::string CatalogOf(const std::filesystem::path& path) {
  auto database = jet::Database::Open(path);
  std::string text;
  for (const auto& object : database->catalog())
    text += object.name + " " + std::to_string(object.type) + " " + std::to_string(object.flags) + " " +
            std::to_string(object.properties.size()) + "\n";
  return text;
}

// The samples a compaction can copy: the password-protected one does not open by path.
bool Compactable(const std::filesystem::path& path) { return path.filename() != "passwordV2000.mdb"; }

TEST(CompactDatabase, EverySampleKeepsItsContentsAndGetsNoLarger) {
  VANTREL_REQUIRE_CORPUS();
  for (const auto& sample : CorpusFiles()) {
    if (!Compactable(sample)) continue;
    SCOPED_TRACE(sample.filename().string());
    TempDir folder;
    const auto source = folder / "source.mdb";
    const auto copy = folder / "copy.mdb";
    CopyWritable(sample, source);
    const std::string before = FileBytes(source);

    try {
      jet::CompactDatabase(source, copy);
    } catch (const jet::Error& error) {
      ADD_FAILURE() << error.number() << " " << error.description();
      continue;
    }
    EXPECT_EQ(FileBytes(source), before) << "the source must not change";
    EXPECT_EQ(FirstDifference(DumpOf(copy), DumpOf(source)), "");
    EXPECT_EQ(CatalogOf(copy), CatalogOf(source));
    EXPECT_EQ(StaleNavigationIds(copy), std::vector<std::string>{});
    EXPECT_EQ(CheckErrors(copy), std::vector<std::string>{});
    EXPECT_LE(std::filesystem::file_size(copy), std::filesystem::file_size(source));
    // mdbtools lists rows and tables in its own storage order, which a compaction may change.
    auto sorted = [](const std::string& command, const std::filesystem::path& file) {
      return Output(command + " '" + file.string() + "' 2>&1 | sort");
    };
    EXPECT_EQ(sorted("mdb-tables -1", copy), sorted("mdb-tables -1", source));
    const auto source_database = jet::Database::Open(source);
    for (const auto& table : source_database->tables()) {
      if (table.system() || table.linked()) continue;
      auto exported = [&](const std::filesystem::path& file) {
        return Output("mdb-export -b hex '" + file.string() + "' '" + table.name + "' 2>&1 | sort");
      };
      EXPECT_EQ(exported(copy), exported(source)) << table.name;
    }
    // Only the finished file is left: no temporary copy beside either file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);
  }
}

TEST(CompactDatabase, ACompactedCopyCompactsToTheSameBytes) {
  VANTREL_REQUIRE_CORPUS();
  for (const char* name : {"jet4/testV2000.mdb", "jet3/testV1997.mdb", "jet3/test2V1997.mdb"}) {
    SCOPED_TRACE(name);
    const auto sample = vantrel::test::CorpusDir() / name;
    TempDir folder;
    jet::CompactDatabase(sample, folder / "once.mdb");
    jet::CompactDatabase(folder / "once.mdb", folder / "twice.mdb");
    EXPECT_EQ(FileBytes(folder / "once.mdb"), FileBytes(folder / "twice.mdb"));
  }
}

// A file the engine changed (tables, fields, indexes, queries added, dropped and filled)
// compacts with its contents whole, in both formats, and the copy is clean.
TEST(CompactDatabase, FilesTheEngineChangedCompactWhole) {
  VANTREL_REQUIRE_CORPUS();
  for (const char* name : {"jet4/testV2000.mdb", "jet3/testV1997.mdb", "jet3/test2V1997.mdb"}) {
    SCOPED_TRACE(name);
    TempDir folder;
    const auto source = folder / "source.mdb";
    CopyWritable(vantrel::test::CorpusDir() / name, source);
    {
      auto writer = jet::DatabaseWriter::Open(source);
      const jet::TableInfo& first = *std::find_if(writer->database().tables().begin(), writer->database().tables().end(),
                                                  [](const jet::TableInfo& t) { return !t.system() && t.def.row_count > 0; });
      const std::string from = first.name;
      jet::NewTable copy{"Copia è", {}, {}, {}};
      for (const jet::FieldInfo& field : first.fields) {
        copy.columns.push_back({field.name(), field.dao_type, field.size});
        copy.properties.push_back({{"AllowZeroLength", true, std::nullopt}});
      }
      copy.columns.push_back({"Città", 10, 30});
      copy.properties.push_back({{"DefaultValue", std::nullopt, "\"Forlì\""}});
      writer->CreateTable(copy);
      writer->Execute("INSERT INTO [Copia è] SELECT [" + from + "].* FROM [" + from + "]");
      writer->Execute("INSERT INTO [Copia è] SELECT [Copia è].* FROM [Copia è]");
      writer->CreateIndex("Copia è", {"Città", false, false, {"Città"}});
      writer->AddColumn(from, {"Nota", 12, 0});
      writer->Execute("UPDATE [" + from + "] SET [Nota] = '" + std::string(3000, 'n') + "'");
      writer->CreateQuery("Elenco", "SELECT [Copia è].* FROM [Copia è];");
      writer->Commit();
    }
    ASSERT_EQ(CheckErrors(source), std::vector<std::string>{});
    const auto copy = folder / "copy.mdb";
    jet::CompactDatabase(source, copy);
    EXPECT_EQ(jet::Database::Open(copy)->format(), jet::Database::Open(source)->format());
    EXPECT_EQ(FirstDifference(DumpOf(copy), DumpOf(source)), "");
    EXPECT_EQ(CheckErrors(copy), std::vector<std::string>{});
    EXPECT_LE(std::filesystem::file_size(copy), std::filesystem::file_size(source));
    auto exported = [&](const std::filesystem::path& file, const std::string& table) {
      return Output("mdb-export -b hex '" + file.string() + "' '" + table + "' 2>&1 | sort");
    };
    EXPECT_EQ(exported(copy, "Copia è"), exported(source, "Copia è"));
    EXPECT_NE(exported(copy, "Copia è").find("Forlì"), std::string::npos);
  }
}

TEST(CompactDatabase, RefusesAnExistingDestinationAndALockedOrMissingSource) {
  VANTREL_REQUIRE_CORPUS();
  const auto sample = vantrel::test::CorpusDir() / "jet4" / "testV2000.mdb";
  TempDir folder;
  const auto source = folder / "sede.mdb";
  CopyWritable(sample, source);
  { std::ofstream(folder / "sede.md~") << "left over"; }
  EXPECT_EQ(ErrorOf([&] { jet::CompactDatabase(source, folder / "sede.md~"); }), 3204);
  EXPECT_EQ(FileBytes(folder / "sede.md~"), "left over");
  EXPECT_EQ(ErrorOf([&] { jet::CompactDatabase(folder / "missing.mdb", folder / "out.mdb"); }), 3024);
  {
    auto held = jet::store::WriteSession::Open(source);
    EXPECT_EQ(ErrorOf([&] { jet::CompactDatabase(source, folder / "out.mdb"); }), 3356);
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "out.mdb"));
}

}  // namespace
