// The update of a local database whose tables must be rebuilt (a field of another type in the
// reference), against a baseline measured in the same run on the same file: a plain copy of
// the local file made durable. Each run updates a fresh copy of LOCAL in a child process, so
// its peak memory is the update's own; the copy it starts from is not timed.
//
//   rebuild_bench LOCAL.mdb REFERENCE.mdb [repetitions]
//
// generate_database makes such a pair: LOCAL with rows, REFERENCE with the same arguments,
// --rows 0 --big-rows 0 and --retype.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/copy_baseline.h"
#include "bench/measured_run.h"
#include "schema/engine.h"
#include "schema/pass_state.h"
#include "schema/pass_window.h"
#include "update/update_pass.h"

namespace {

// Answers every question as an unattended run does, and counts the run-log lines.
class UnattendedWindow : public schema::PassWindow {
 public:
  void RunLogSetBackColor(uint32_t) override {}
  void RunLogClear() override {}
  void RunLogAddItem(const std::string&) override { ++lines; }
  int MessageBox(const std::string& text, int style, const std::string&) override {
    if ((style & 0x0F) == 4 || (style & 0x0F) == 3) return 6;  // Yes
    if ((style & 0x0F) == 0 || (style & 0x0F) == 1) return 1;  // OK
    std::fprintf(stderr, "unexpected question: %s\n", text.c_str());
    return 2;
  }
  void BusyCursorOn() override {}
  void BusyCursorOff() override {}
  void DoEvents() override {}
  int lines = 0;
};

}  // namespace

using bench::CopyDurably;
using bench::InChild;
using bench::Median;
using bench::Run;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s LOCAL.mdb REFERENCE.mdb [repetitions]\n", argv[0]);
    return 2;
  }
  const std::filesystem::path local = argv[1], reference = argv[2];
  const int repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  const std::filesystem::path work = local.string() + ".bench-work";
  std::vector<double> copy_times, update_times;
  long copy_peak = 0, update_peak = 0;
  for (int i = 0; i < repetitions; ++i) {
    std::filesystem::remove(work);
    const Run copy = InChild([&] { CopyDurably(local, work); });
    const Run update = InChild([&] {
      schema::PassState state;
      state.LPathAgg = reference.string();
      state.LPathLoc = work.string();
      UnattendedWindow window;
      update::RunUpdate(state, window, schema::TheEngine());
      if (state.nErrore != 0) {
        std::fprintf(stderr, "update failed: %d %s\n", state.nErrore, state.sErrore.c_str());
        std::exit(1);
      }
      std::fprintf(stderr, "update: %d lines\n", window.lines);
    });
    copy_times.push_back(copy.seconds);
    update_times.push_back(update.seconds);
    copy_peak = std::max(copy_peak, copy.peak_kilobytes);
    update_peak = std::max(update_peak, update.peak_kilobytes);
  }
  std::filesystem::remove(work);
  const double copy_s = Median(copy_times), update_s = Median(update_times);
  std::printf("file %s: %.1f MB; %d runs, medians\n", local.string().c_str(), std::filesystem::file_size(local) / 1e6,
              repetitions);
  std::printf("copy + sync: %.2f s, peak %ld KB\n", copy_s, copy_peak);
  std::printf("update (rebuild): %.2f s, peak %ld KB\n", update_s, update_peak);
  std::printf("update / copy: %.2fx\n", update_s / copy_s);
  return 0;
}
