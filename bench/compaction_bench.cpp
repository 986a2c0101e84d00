// Compaction of a database against a baseline measured in the same run on the same file: a
// plain copy of the file made durable (what `cp` and a sync cost). Each run happens in a child
// process, so its peak memory is the compaction's own.
//
//   compaction_bench FILE.mdb [repetitions]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/copy_baseline.h"
#include "bench/measured_run.h"
#include "jet/common/error.h"
#include "jet/write/compaction.h"

using bench::CopyDurably;
using bench::InChild;
using bench::Median;
using bench::Run;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE.mdb [repetitions]\n", argv[0]);
    return 2;
  }
  const std::filesystem::path source = argv[1];
  const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::filesystem::path out = source.string() + ".bench-out";
  std::vector<double> copy_times, compact_times, copy_cpu, compact_cpu;
  long copy_peak = 0, compact_peak = 0;
  uintmax_t compacted_size = 0;
  for (int i = 0; i < repetitions; ++i) {
    // An untimed copy first: the kernel's copy costs more when it needs memory the machine
    // has not touched lately, and an uncached compaction leaves none behind, which would
    // flatter the ratio. The baseline is the copy at its best.
    std::filesystem::remove(out);
    InChild([&] { CopyDurably(source, out); });
    std::filesystem::remove(out);
    const Run copy = InChild([&] { CopyDurably(source, out); });
    std::filesystem::remove(out);
    const Run compact = InChild([&] { jet::CompactDatabase(source, out); });
    compacted_size = std::filesystem::file_size(out);
    std::filesystem::remove(out);
    copy_times.push_back(copy.seconds);
    compact_times.push_back(compact.seconds);
    copy_cpu.push_back(copy.cpu_seconds);
    compact_cpu.push_back(compact.cpu_seconds);
    copy_peak = std::max(copy_peak, copy.peak_kilobytes);
    compact_peak = std::max(compact_peak, compact.peak_kilobytes);
  }
  const double copy_s = Median(copy_times), compact_s = Median(compact_times);
  std::printf("file %s: %.1f MB, compacted %.1f MB; %d runs, medians\n", source.string().c_str(),
              std::filesystem::file_size(source) / 1e6, compacted_size / 1e6, repetitions);
  std::printf("copy + sync: %.2f s (cpu %.2f s), peak %ld KB\n", copy_s, Median(copy_cpu), copy_peak);
  std::printf("compaction:  %.2f s (cpu %.2f s), peak %ld KB\n", compact_s, Median(compact_cpu), compact_peak);
  std::printf("compaction / copy: %.2fx\n", compact_s / copy_s);
  return 0;
}
