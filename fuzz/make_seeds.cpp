// Writes the reader fuzzer's seed files: small databases the engine itself wrote, each one
// exercising a different part of what the reader must survive (new tables of every field type,
// long values, indexes, copied queries, deleted columns). Run it on a small sample of each
// format:
//   make_seeds SAMPLE.mdb OUT_PREFIX
// It writes OUT_PREFIX-tables.mdb and OUT_PREFIX-changed.mdb.
#include <cstdio>
#include <filesystem>
#include <string>

#include "jet/common/error.h"
#include "jet/write/database_writer.h"

namespace {

namespace fs = std::filesystem;

fs::path Copy(const fs::path& sample, const std::string& out) {
  fs::copy_file(sample, out, fs::copy_options::overwrite_existing);
  fs::permissions(out, fs::perms::owner_write, fs::perm_options::add);
  return out;
}

// The first user table of the sample, whose rows the seeds copy.
std::string FirstUserTable(const jet::Database& database) {
  for (const jet::TableInfo& table : database.tables())
    if (!table.system() && !table.def.columns.empty()) return table.name;
  throw jet::Error(3078, "The sample has no table with columns.");
}

void WriteTablesSeed(const fs::path& sample, const std::string& out) {
  auto writer = jet::DatabaseWriter::Open(Copy(sample, out));
  const std::string source = FirstUserTable(writer->database());
  jet::NewTable every_type{"Tipi", {}, {}, {}};
  for (int16_t type : {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12}) {
    every_type.columns.push_back({"Campo" + std::to_string(type), type, 20});
    every_type.properties.push_back({{"Required", false, std::nullopt}});
  }
  every_type.indexes.push_back({"Chiave", true, true, {"Campo4"}});
  every_type.indexes.push_back({"Testo", false, false, {"Campo10", "Campo8"}});
  writer->CreateTable(every_type);
  jet::NewTable copy{"Copia", {}, {}, {}};
  for (const jet::FieldInfo& field : writer->database().FindTable(source)->fields) {
    copy.columns.push_back({field.name(), field.dao_type, field.size});
    copy.properties.emplace_back();
  }
  copy.columns.push_back({"Nota", 12, 0});
  copy.properties.push_back({{"DefaultValue", std::nullopt, "\"una nota che resta nei valori lunghi\""}});
  writer->CreateTable(copy);
  writer->Execute("INSERT INTO Copia SELECT [" + source + "].* FROM [" + source + "]");
  writer->CreateIndex("Copia", {"Per nota", false, false, {copy.columns.front().name}});
  writer->CreateQuery("Elenco", "SELECT Copia.* FROM Copia;");
  writer->Commit();
}

void WriteChangedSeed(const fs::path& sample, const std::string& out) {
  auto writer = jet::DatabaseWriter::Open(Copy(sample, out));
  const std::string source = FirstUserTable(writer->database());
  writer->AddColumn(source, {"Aggiunto", 10, 30});
  writer->Execute("UPDATE [" + source + "] SET [Aggiunto] = 'valore'");
  writer->AddColumn(source, {"Lungo", 12, 0});
  writer->Execute("UPDATE [" + source + "] SET [Lungo] = 'testo lungo'");
  writer->DeleteColumn(source, "Aggiunto");
  writer->RenameTable(source, source + " rinominata");
  writer->Commit();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SAMPLE.mdb OUT_PREFIX\n", argv[0]);
    return 2;
  }
  try {
    WriteTablesSeed(argv[1], std::string(argv[2]) + "-tables.mdb");
    WriteChangedSeed(argv[1], std::string(argv[2]) + "-changed.mdb");
  } catch (const jet::Error& error) {
    std::fprintf(stderr, "error %d: %s\n", error.number(), error.description());
    return 1;
  }
  return 0;
}
