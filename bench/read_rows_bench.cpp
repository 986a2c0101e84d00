// Rows per second when streaming the largest table of a database, against a baseline measured
// in the same run: reading every page of the file through the same page source, which is the
// floor any row decoder stands on. Figures are ratios, so machine noise cancels out.
//
//   read_rows_bench FILE.mdb [repetitions]
//   read_rows_bench --generate SAMPLE.mdb OUT.mdb DOUBLINGS
// The second form makes a file big enough to measure: a copy of SAMPLE whose table "Grande"
// holds the rows of its Table1, doubled DOUBLINGS times by the engine's own insert.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "jet/common/error.h"
#include "jet/core/database.h"
#include "jet/write/database_writer.h"

#include <filesystem>

namespace {

double Seconds(std::chrono::steady_clock::duration elapsed) {
  return std::chrono::duration<double>(elapsed).count();
}

int Generate(const char* sample, const char* out, int doublings) {
  std::filesystem::copy_file(sample, out, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(out, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  auto writer = jet::DatabaseWriter::Open(out);
  const jet::TableInfo* source = writer->database().FindTable("Table1");
  if (!source) throw jet::Error(3078, "The sample has no Table1.");
  jet::NewTable table{"Grande", {}, {}, {}};
  for (const jet::FieldInfo& field : source->fields) {
    table.columns.push_back({field.name(), field.dao_type, field.size});
    table.properties.emplace_back();
  }
  writer->CreateTable(table);
  writer->Execute("INSERT INTO Grande SELECT Table1.* FROM Table1");
  for (int i = 0; i < doublings; ++i) writer->Execute("INSERT INTO Grande SELECT Grande.* FROM Grande");
  writer->Commit();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--generate") {
    try {
      return Generate(argv[2], argv[3], std::atoi(argv[4]));
    } catch (const jet::Error& error) {
      std::fprintf(stderr, "error %d: %s\n", error.number(), error.description());
      return 1;
    }
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE.mdb [repetitions]\n", argv[0]);
    return 2;
  }
  const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  try {
    auto database = jet::Database::Open(argv[1]);
    const jet::TableInfo* largest = nullptr;
    size_t largest_rows = 0;
    for (const jet::TableInfo& table : database->tables()) {
      if (table.def.columns.empty()) continue;
      size_t rows = 0;
      auto cursor = database->Rows(table);
      jet::Row row;
      while (cursor.Next(row)) ++rows;
      if (!largest || rows > largest_rows) {
        largest = &table;
        largest_rows = rows;
      }
    }
    if (!largest) {
      std::fprintf(stderr, "no table with rows\n");
      return 1;
    }
    const uint32_t pages = database->pages().page_count();
    double best_rows = 1e30, best_pages = 1e30;
    volatile uint64_t sink = 0;
    for (int r = 0; r < repetitions; ++r) {
      auto start = std::chrono::steady_clock::now();
      auto cursor = database->Rows(*largest);
      jet::Row row;
      size_t rows = 0;
      while (cursor.Next(row)) ++rows;
      best_rows = std::min(best_rows, Seconds(std::chrono::steady_clock::now() - start));
      sink = sink + rows;
      start = std::chrono::steady_clock::now();
      for (uint32_t page = 0; page < pages; ++page) sink = sink + database->pages().Page(page)[0];
      best_pages = std::min(best_pages, Seconds(std::chrono::steady_clock::now() - start));
    }
    std::printf("table %s: %zu rows, best of %d: %.0f rows/s (%.3f ms)\n", largest->name.c_str(), largest_rows,
                repetitions, largest_rows / best_rows, best_rows * 1e3);
    std::printf("baseline: %u pages read in %.3f ms (%.0f pages/s)\n", pages, best_pages * 1e3, pages / best_pages);
    std::printf("ratio: streaming the table costs %.2f x reading every page of the file\n", best_rows / best_pages);
  } catch (const jet::Error& error) {
    std::fprintf(stderr, "error %d: %s\n", error.number(), error.description());
    return 1;
  }
  return 0;
}
