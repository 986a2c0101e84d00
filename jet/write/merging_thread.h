#pragma once
// The merge of an index's sorted runs done on a second thread while the first writes the
// index's pages from what the merge gave so far: with runs on disk, reading and merging them
// costs as much as building the leaves.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "jet/index/index_entry.h"
#include "jet/write/index_entry_sorter.h"

namespace jet {

// Gives the entries of `stream`, in its order, read ahead on a thread of this object's own in
// batches of bounded size. The stream (and the spill file it reads) must not be used by
// anyone else while this object lives. An error of the stream is raised by Next.
class MergingThread {
 public:
  explicit MergingThread(IndexEntrySorter::Stream stream);
  ~MergingThread();
  MergingThread(const MergingThread&) = delete;
  MergingThread& operator=(const MergingThread&) = delete;

  // The next entry; false after the last. The view lasts until the next call.
  bool Next(IndexEntryView& entry);

 private:
  struct Entry {
    size_t offset = 0;
    uint16_t length = 0;
    uint8_t data_row = 0;
    uint32_t data_page = 0;
  };
  struct Batch {
    std::vector<uint8_t> keys;
    std::vector<Entry> entries;
    bool last = false;  // the stream ended after these
  };
  void Work();

  IndexEntrySorter::Stream stream_;
  Batch reading_;     // the batch Next gives from
  size_t next_ = 0;   // in reading_.entries
  bool ended_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> ready_;
  std::vector<Batch> spare_;
  bool stopping_ = false;
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace jet
