#include "jet/write/keying_thread.h"

#include <utility>

namespace jet {
namespace {

// A batch is handed over at either bound: rows are small, and a batch of many small rows
// costs the thread's wake-up once.
constexpr size_t kBatchBytes = size_t{256} << 10;
constexpr size_t kBatchRows = 4096;
// Full batches waiting at most: what the copy may run ahead of the keys. The thread sorts
// what it keyed every so many rows, and the copy slows while its pages go to the disk: with
// four a compaction waited for the keys a sixth of its time, with sixteen (4 MB) hardly.
constexpr size_t kQueuedBatches = 16;
// Entries of an index sorted at a time on the thread: a range that fits the caches, and few
// enough ranges that merging them when the index is built costs little.
constexpr size_t kSortedPiece = size_t{1} << 16;

}  // namespace

KeyingThread::KeyingThread(IndexEntryCollector& keys) : keys_(keys) {
  keys_.SortInPieces(kSortedPiece);
  thread_ = std::thread([this] { Work(); });
}

KeyingThread::~KeyingThread() { Stop(); }

void KeyingThread::Stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    abandoned_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void KeyingThread::Add(std::span<const uint8_t> stored_row, RowLocation location) {
  filling_.rows.push_back(Placed{filling_.bytes.size(), stored_row.size(), location});
  filling_.bytes.insert(filling_.bytes.end(), stored_row.begin(), stored_row.end());
  if (filling_.bytes.size() >= kBatchBytes || filling_.rows.size() >= kBatchRows) HandOver();
}

void KeyingThread::HandOver() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queue_.size() < kQueuedBatches || error_; });
  if (error_) std::rethrow_exception(error_);
  queue_.push_back(std::move(filling_));
  if (spare_.empty()) {
    filling_ = Batch{};
  } else {
    filling_ = std::move(spare_.back());
    spare_.pop_back();
  }
  lock.unlock();
  changed_.notify_all();
}

void KeyingThread::Finish() {
  if (!filling_.rows.empty()) HandOver();
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return (queue_.empty() && !busy_) || error_; });
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (error_) std::rethrow_exception(error_);
}

void KeyingThread::Work() {
  for (;;) {
    Batch batch;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !queue_.empty() || closing_; });
      if (queue_.empty() && abandoned_) return;
      if (queue_.empty()) break;
      batch = std::move(queue_.front());
      queue_.pop_front();
      busy_ = true;
    }
    changed_.notify_all();
    try {
      for (const Placed& row : batch.rows)
        keys_.Add(std::span<const uint8_t>(batch.bytes).subspan(row.offset, row.length), row.location);
    } catch (...) {
      const std::lock_guard<std::mutex> lock(mutex_);
      error_ = std::current_exception();
      busy_ = false;
      queue_.clear();
      changed_.notify_all();
      return;
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      busy_ = false;
      batch.Clear();
      spare_.push_back(std::move(batch));
    }
    changed_.notify_all();
  }
  // Every row is keyed: what is left unsorted is sorted here too, not where the index is built.
  try {
    keys_.SortAdded();
  } catch (...) {
    const std::lock_guard<std::mutex> lock(mutex_);
    error_ = std::current_exception();
  }
}

}  // namespace jet
