#pragma once
// The keys of a table's rows computed on a second thread while the first places the rows: a
// compaction spends as much time keying and sorting as copying, and the two need nothing of
// each other until the indexes are built.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "jet/core/table_scan.h"
#include "jet/write/index_entry_collector.h"

namespace jet {

// Rows given to Add reach `keys` in the order given, on a thread of this object's own. The
// bytes are copied, so the caller may reuse its buffers at once; memory stays within a few
// batches, the caller waiting when the thread falls behind. `keys` must not be used by anyone
// else until Finish returns. An error the thread meets is raised by a later Add or by Finish.
// Destroying this object without Finish (the caller failed) drops what is still queued.
class KeyingThread {
 public:
  explicit KeyingThread(IndexEntryCollector& keys);
  ~KeyingThread();
  KeyingThread(const KeyingThread&) = delete;
  KeyingThread& operator=(const KeyingThread&) = delete;

  void Add(std::span<const uint8_t> stored_row, RowLocation location);
  // Waits until every row given is keyed; raises the thread's error, if it met one.
  void Finish();

 private:
  struct Placed {
    size_t offset = 0;
    size_t length = 0;
    RowLocation location;
  };
  struct Batch {
    std::vector<uint8_t> bytes;
    std::vector<Placed> rows;
    void Clear() {
      bytes.clear();
      rows.clear();
    }
  };
  void HandOver();
  void Work();
  void Stop();

  IndexEntryCollector& keys_;
  Batch filling_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> queue_;   // full batches waiting for the thread, oldest first
  std::vector<Batch> spare_;  // emptied batches, their memory reused
  bool closing_ = false;      // no more batches will come
  bool abandoned_ = false;    // ... and those queued are dropped
  bool busy_ = false;         // the thread is keying a batch it took
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace jet
