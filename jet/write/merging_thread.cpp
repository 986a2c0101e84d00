#include "jet/write/merging_thread.h"

#include <utility>

namespace jet {
namespace {

constexpr size_t kBatchBytes = size_t{256} << 10;
constexpr size_t kBatchEntries = 8192;
constexpr size_t kReadyBatches = 4;

}  // namespace

MergingThread::MergingThread(IndexEntrySorter::Stream stream) : stream_(std::move(stream)) {
  thread_ = std::thread([this] { Work(); });
}

MergingThread::~MergingThread() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void MergingThread::Work() {
  try {
    for (bool more = true; more;) {
      Batch batch;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return ready_.size() < kReadyBatches || stopping_; });
        if (stopping_) return;
        if (!spare_.empty()) {
          batch = std::move(spare_.back());
          spare_.pop_back();
        }
      }
      batch.keys.clear();
      batch.entries.clear();
      IndexEntryView view;
      while (batch.keys.size() < kBatchBytes && batch.entries.size() < kBatchEntries) {
        if (!stream_.Next(view)) {
          more = false;
          break;
        }
        batch.entries.push_back(
            Entry{batch.keys.size(), static_cast<uint16_t>(view.key.size()), view.data_row, view.data_page});
        batch.keys.insert(batch.keys.end(), view.key.begin(), view.key.end());
      }
      batch.last = !more;
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        ready_.push_back(std::move(batch));
      }
      changed_.notify_all();
    }
  } catch (...) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      error_ = std::current_exception();
    }
    changed_.notify_all();
  }
}

bool MergingThread::Next(IndexEntryView& entry) {
  while (next_ >= reading_.entries.size()) {
    if (ended_ || reading_.last) {
      ended_ = true;
      return false;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || error_; });
    // Entries merged before the error are given first: the error belongs after them.
    if (ready_.empty()) std::rethrow_exception(error_);
    spare_.push_back(std::move(reading_));
    reading_ = std::move(ready_.front());
    ready_.pop_front();
    next_ = 0;
    lock.unlock();
    changed_.notify_all();
  }
  const Entry& at = reading_.entries[next_++];
  entry.key = std::span<const uint8_t>(reading_.keys).subspan(at.offset, at.length);
  entry.data_page = at.data_page;
  entry.data_row = at.data_row;
  return true;
}

}  // namespace jet
