#include "jet/store/background_writer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace jet::store {
namespace {

// What uncached writes ask of the buffer's address: the largest block size in use.
constexpr size_t kAlignment = 4096;
// Writes queued at most, besides the one being written: what the builder may run ahead of the
// disk. A compaction hands its changed pages over 8 MB at a time, and a disk's pace varies;
// a shorter queue kept the builder waiting for a third of a second a gigabyte.
constexpr size_t kQueuedWrites = 6;
// Through the cache, the file is handed to the disk in windows of this size as it grows, so
// that the final sync finds little left to write and dirty memory stays bounded.
constexpr uint64_t kWriteBackBytes = uint64_t{16} << 20;

std::atomic<bool> uncached_disabled_for_testing{false};

}  // namespace

AlignedBuffer::AlignedBuffer(size_t capacity) : storage_(capacity + kAlignment), capacity_(capacity) {
  const auto address = reinterpret_cast<uintptr_t>(storage_.data());
  start_ = (kAlignment - address % kAlignment) % kAlignment;
}

void AlignedBuffer::Append(std::span<const uint8_t> bytes) {
  std::memcpy(data() + size_, bytes.data(), bytes.size());
  size_ += bytes.size();
}

void BackgroundWriter::DisableUncachedWritesForTesting(bool disabled) { uncached_disabled_for_testing = disabled; }

BackgroundWriter::BackgroundWriter(const FileHandle& file, std::filesystem::path path, size_t buffer_bytes)
    : file_(file), path_(std::move(path)), buffer_bytes_(buffer_bytes) {
  if (!uncached_disabled_for_testing) uncached_ = OpenForUncachedWrites(path_);
  thread_ = std::thread([this] { Work(); });
}

BackgroundWriter::~BackgroundWriter() { Abandon(); }

void BackgroundWriter::Abandon() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    // The one being written finishes; the rest never reach the file.
    if (busy_) {
      queue_.erase(queue_.begin() + 1, queue_.end());
    } else {
      queue_.clear();
    }
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  uncached_.Reset();
}

AlignedBuffer BackgroundWriter::TakeBuffer() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!spare_.empty()) {
      AlignedBuffer buffer = std::move(spare_.back());
      spare_.pop_back();
      buffer.Clear();
      return buffer;
    }
  }
  return AlignedBuffer(buffer_bytes_);
}

void BackgroundWriter::RaiseIfFailed() {
  if (error_) std::rethrow_exception(error_);
}

void BackgroundWriter::Write(uint64_t offset, AlignedBuffer buffer) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() <= kQueuedWrites || error_; });
    RaiseIfFailed();
    queue_.push_back(Queued{offset, std::move(buffer)});
  }
  changed_.notify_all();
}

bool BackgroundWriter::ReadQueued(uint64_t offset, std::span<uint8_t> into) {
  const std::lock_guard<std::mutex> lock(mutex_);
  RaiseIfFailed();
  // The newest first: a page written twice reads as it was written last. The writer only
  // reads the buffers too, so the one being written may be read meanwhile.
  for (auto write = queue_.rbegin(); write != queue_.rend(); ++write) {
    const uint64_t end = write->offset + write->buffer.size();
    if (offset >= write->offset && offset + into.size() <= end) {
      const auto from = write->buffer.bytes().subspan(static_cast<size_t>(offset - write->offset), into.size());
      std::copy(from.begin(), from.end(), into.begin());
      return true;
    }
  }
  return false;
}

uint64_t BackgroundWriter::written_end() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return written_end_;
}

void BackgroundWriter::Drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return queue_.empty() || error_; });
  RaiseIfFailed();
}

void BackgroundWriter::Work() {
  for (;;) {
    const Queued* write = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
      if (queue_.empty()) return;
      // A reference into the queue stays good while the builder adds behind it.
      write = &queue_.front();
      busy_ = true;
    }
    std::exception_ptr failed;
    try {
      WriteOne(*write);
    } catch (...) {
      failed = std::current_exception();
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      busy_ = false;
      if (failed) {
        error_ = failed;
        queue_.clear();
      } else {
        written_end_ = std::max(written_end_, write->offset + write->buffer.size());
        spare_.push_back(std::move(queue_.front().buffer));
        queue_.pop_front();
      }
    }
    changed_.notify_all();
  }
}

void BackgroundWriter::WriteOne(const Queued& write) {
  const std::span<const uint8_t> bytes = write.buffer.bytes();
  // Only this thread changes the handle, so it reads it without the lock.
  if (uncached_.is_open()) {
    if (WriteUncachedAt(uncached_, write.offset, bytes, path_)) return;
    // A block size the pages do not meet (a Jet 3 page on a disk of 4096-byte sectors): this
    // write and the rest go through the cache.
    const std::lock_guard<std::mutex> lock(mutex_);
    uncached_.Reset();
  }
  WriteAt(file_, write.offset, bytes, path_);
  // Most writes extend the file at its end: each full window there is handed to the disk,
  // and the one before it waited for. Pages rewritten below go at the final sync.
  const uint64_t end = write.offset + bytes.size();
  if (end <= written_back_ || end - written_back_ < kWriteBackBytes) return;
  WriteBack(file_, written_back_, end - written_back_, waited_, written_back_ - waited_);
  waited_ = written_back_;
  written_back_ = end;
}

}  // namespace jet::store
