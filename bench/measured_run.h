#pragma once
// Timing for the benchmarks: each measured run happens in a child process, so its peak memory
// is its own, and figures are medians of several runs.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "jet/common/error.h"

namespace bench {

struct Run {
  double seconds = 0;
  long peak_kilobytes = 0;
  // User and system time: on a machine others share, wall time carries their load too.
  double cpu_seconds = 0;
};

// Runs `work` in a child process: its wall time and its peak resident memory. A run that
// fails ends the benchmark, since its figures would mean nothing.
inline Run InChild(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    try {
      work();
    } catch (const jet::Error& error) {
      std::fprintf(stderr, "error %d: %s\n", error.number(), error.description());
      ::_exit(1);
    }
    ::_exit(0);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "the measured run failed\n");
    std::exit(1);
  }
  const auto seconds_of = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), usage.ru_maxrss,
          seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime)};
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace bench
