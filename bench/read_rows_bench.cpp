// Streaming every row of the largest table of a database, against baselines measured in the
// same run on the same file: mdbtools' mdb-export of that table (another reader of Access
// files doing the same job) and reading every page of the file (the floor any row decoder
// stands on). Each run is a child process, so its peak memory is its own; figures are
// medians, and ratios, so machine noise cancels out.
//
//   read_rows_bench FILE.mdb [repetitions]
//   read_rows_bench --generate SAMPLE.mdb OUT.mdb DOUBLINGS
// The second form makes a file big enough to measure: a copy of SAMPLE whose table "Grande"
// holds the rows of its Table1, doubled DOUBLINGS times by the engine's own insert
// (generate_database --big-rows makes larger and wider ones).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/measured_run.h"
#include "jet/common/error.h"
#include "jet/core/database.h"
#include "jet/write/database_writer.h"

#include <filesystem>

namespace {

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
  const std::filesystem::path file = argv[1];
  const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::string largest;
  size_t largest_rows = 0;
  try {
    auto database = jet::Database::Open(file);
    for (const jet::TableInfo& table : database->tables()) {
      if (table.def.columns.empty()) continue;
      size_t rows = 0;
      auto cursor = database->Rows(table);
      jet::Row row;
      while (cursor.Next(row)) ++rows;
      if (largest.empty() || rows > largest_rows) {
        largest = table.name;
        largest_rows = rows;
      }
    }
  } catch (const jet::Error& error) {
    std::fprintf(stderr, "error %d: %s\n", error.number(), error.description());
    return 1;
  }
  if (largest.empty()) {
    std::fprintf(stderr, "no table with rows\n");
    return 1;
  }
  // Table names come from the file: quoted for the shell, quotes inside escaped.
  std::string quoted = "'";
  for (char c : largest) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  const std::string export_command =
      "mdb-export '" + file.string() + "' " + quoted + " > /dev/null 2>&1";
  std::vector<double> row_times, export_times, page_times;
  long row_peak = 0, export_peak = 0;
  for (int r = 0; r < repetitions; ++r) {
    const bench::Run rows = bench::InChild([&] {
      auto database = jet::Database::Open(file);
      const jet::TableInfo* table = database->FindTable(largest);
      if (!table) throw jet::Error(3078, "The table went away.");
      auto cursor = database->Rows(*table);
      jet::Row row;
      size_t count = 0;
      while (cursor.Next(row)) ++count;
      if (count != largest_rows) throw jet::Error(3049, "The table's row count changed between runs.");
    });
    const bench::Run exported = bench::InChild([&] { ::_exit(std::system(export_command.c_str()) == 0 ? 0 : 1); });
    const bench::Run pages = bench::InChild([&] {
      auto database = jet::Database::Open(file);
      volatile uint64_t sink = 0;
      for (uint32_t page = 0; page < database->pages().page_count(); ++page) sink = sink + database->pages().Page(page)[0];
    });
    row_times.push_back(rows.seconds);
    export_times.push_back(exported.seconds);
    page_times.push_back(pages.seconds);
    row_peak = std::max(row_peak, rows.peak_kilobytes);
    export_peak = std::max(export_peak, exported.peak_kilobytes);
  }
  const double row_median = bench::Median(row_times), export_median = bench::Median(export_times),
               page_median = bench::Median(page_times);
  std::printf("table %s: %zu rows; file %.1f MB; %d runs, medians\n", largest.c_str(), largest_rows,
              std::filesystem::file_size(file) / 1e6, repetitions);
  std::printf("mdb-export:  %.3f s, peak %ld KB\n", export_median, export_peak);
  std::printf("every page:  %.3f s\n", page_median);
  std::printf("rows:        %.3f s, peak %ld KB (%.0f rows/s)\n", row_median, row_peak, largest_rows / row_median);
  std::printf("rows / mdb-export: %.2fx\nrows / every page: %.2fx\n", row_median / export_median,
              row_median / page_median);
  return 0;
}
