// The verify pass on a large schema against a baseline measured in the same run on the same
// file: mdb-schema (mdbtools) printing that schema for Access. A verify run is what the cli's
// verify does: the pass, then the data-loss preview on the databases the pass has open.
//
//   verify_bench REF.mdb LOCAL.mdb [repetitions]
//   verify_bench FOLDER [tables] [fields] [indexes] [repetitions]
//
// The second form makes both files in FOLDER with the engine, deterministically: TABLES
// tables of FIELDS fields of every type and INDEXES indexes each; the local copy differs from
// the reference in one table of every ten (a text size).

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/measured_run.h"
#include "jet/common/error.h"
#include "jet/write/database_writer.h"
#include "jet/write/new_database.h"
#include "schema/data_loss_preview.h"
#include "schema/engine.h"
#include "schema/pass_state.h"
#include "schema/pass_window.h"
#include "schema/verify_pass.h"

namespace {

class CountingWindow : public schema::PassWindow {
 public:
  void RunLogSetBackColor(uint32_t) override {}
  void RunLogClear() override {}
  void RunLogAddItem(const std::string&) override { ++lines; }
  int MessageBox(const std::string&, int, const std::string&) override { return 1; }
  void BusyCursorOn() override {}
  void BusyCursorOff() override {}
  void DoEvents() override {}
  int lines = 0;
};

void MakeDatabase(const std::filesystem::path& path, int tables, int fields, int indexes, bool local) {
  static const int16_t kTypes[] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 12};
  std::filesystem::remove(path);
  jet::CreateDatabase(path);
  auto writer = jet::DatabaseWriter::Open(path);
  for (int t = 0; t < tables; ++t) {
    jet::NewTable table{"Tabella" + std::to_string(t), {}, {}, {}};
    for (int f = 0; f < fields; ++f) {
      const int16_t type = kTypes[f % 10];
      int32_t size = type == 10 ? 50 : 0;
      if (local && t % 10 == 0 && f == 8) size = 20;  // a text size the update would change
      table.columns.push_back({"Campo" + std::to_string(f), type, size});
      table.properties.emplace_back();
    }
    for (int i = 0; i < indexes && i < fields; ++i)
      table.indexes.push_back({"Indice" + std::to_string(i), i == 0, i == 0, {"Campo" + std::to_string(i)}});
    writer->CreateTable(table);
  }
  writer->Commit();
}

}  // namespace

using bench::InChild;
using bench::Median;
using bench::Run;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s REF.mdb LOCAL.mdb [repetitions]\n       %s FOLDER [tables] [fields] [indexes] [repetitions]\n",
                 argv[0], argv[0]);
    return 2;
  }
  std::error_code error;
  const bool given = argc > 2 && std::filesystem::is_regular_file(argv[1], error) &&
                     std::filesystem::is_regular_file(argv[2], error);
  std::filesystem::path reference, local;
  int repetitions = 3;
  std::string description;
  if (given) {
    reference = argv[1];
    local = argv[2];
    repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    description = reference.string() + " and " + local.string();
  } else {
    const std::filesystem::path folder = argv[1];
    const int tables = argc > 2 ? std::atoi(argv[2]) : 500;
    const int fields = argc > 3 ? std::atoi(argv[3]) : 40;
    const int indexes = argc > 4 ? std::atoi(argv[4]) : 4;
    repetitions = argc > 5 ? std::max(1, std::atoi(argv[5])) : 3;
    reference = folder / "verify_ref.mdb";
    local = folder / "verify_loc.mdb";
    try {
      MakeDatabase(reference, tables, fields, indexes, false);
      MakeDatabase(local, tables, fields, indexes, true);
    } catch (const jet::Error& failure) {
      std::fprintf(stderr, "error %d: %s\n", failure.number(), failure.description());
      return 1;
    }
    description = std::to_string(tables) + " tables x " + std::to_string(fields) + " fields, " +
                  std::to_string(indexes) + " indexes each";
  }
  // CPU time beside wall time: on a machine others share, wall time carries their load too.
  std::vector<double> verify_times, schema_times, verify_cpu, schema_cpu;
  long verify_peak = 0;
  for (int i = 0; i < repetitions; ++i) {
    const Run verify = InChild([&] {
      schema::PassState state;
      state.LPathAgg = reference.string();
      state.LPathLoc = local.string();
      CountingWindow window;
      size_t previews = 0;
      schema::VerifyUpdate(state, window, schema::TheEngine(), [&](schema::Database& ref, schema::Database& loc) {
        previews = schema::PreviewDataLoss(ref, loc).size();
      });
      if (i == 0) {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        std::fprintf(stderr, "verify: %d lines, nErrore %d, %zu previews, %ld page faults\n", window.lines,
                     state.nErrore, previews, usage.ru_minflt);
      }
    });
    const Run baseline = InChild([&] {
      const std::string command = "mdb-schema '" + local.string() + "' access > /dev/null 2>&1";
      ::_exit(std::system(command.c_str()) == 0 ? 0 : 1);
    });
    verify_times.push_back(verify.seconds);
    schema_times.push_back(baseline.seconds);
    verify_cpu.push_back(verify.cpu_seconds);
    schema_cpu.push_back(baseline.cpu_seconds);
    verify_peak = std::max(verify_peak, verify.peak_kilobytes);
  }
  std::printf("schema: %s; %.1f MB; %d runs, medians\n", description.c_str(),
              std::filesystem::file_size(local) / 1e6, repetitions);
  std::printf("mdb-schema: %.3f s\nverify:     %.3f s, peak %ld KB\nverify / mdb-schema: %.2fx\n",
              Median(schema_times), Median(verify_times), verify_peak, Median(verify_times) / Median(schema_times));
  std::printf("cpu: mdb-schema %.3f s, verify %.3f s, verify / mdb-schema %.2fx\n", Median(schema_cpu),
              Median(verify_cpu), Median(verify_cpu) / Median(schema_cpu));
  return 0;
}
