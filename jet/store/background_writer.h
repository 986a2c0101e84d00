#pragma once
// The writes of a file being built, made on a thread of their own so that the next pages are
// built while the disk takes the last ones. Where the system allows, the bytes go to the disk
// without passing through its cache: a file written front to back and read back little gains
// nothing from the cache, and copying a gigabyte into it costs the builder as much time as
// building the pages.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "jet/store/file_io.h"

namespace jet::store {

// Bytes to write in one piece, held at an address the disk's uncached writes accept.
class AlignedBuffer {
 public:
  explicit AlignedBuffer(size_t capacity);

  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  std::span<uint8_t> bytes() { return {data(), size_}; }
  std::span<const uint8_t> bytes() const { return {data(), size_}; }
  // Grows by `bytes`; the caller keeps within the capacity.
  void Append(std::span<const uint8_t> bytes);
  void Clear() { size_ = 0; }

 private:
  uint8_t* data() { return storage_.data() + start_; }
  const uint8_t* data() const { return storage_.data() + start_; }

  std::vector<uint8_t> storage_;
  size_t start_ = 0;
  size_t capacity_ = 0;
  size_t size_ = 0;
};

// Writes reach `file` in the order handed over. An error a write meets is raised by the next
// call; the writes queued after it are dropped. Destroying the writer abandons it.
class BackgroundWriter {
 public:
  // `file` is the builder's handle, open for reading and writing, and outlives the writer.
  BackgroundWriter(const FileHandle& file, std::filesystem::path path, size_t buffer_bytes);
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // An empty buffer to fill and hand to Write; the emptied ones are reused.
  AlignedBuffer TakeBuffer();
  // Queues the buffer's bytes for offset `offset`; waits while the queue is full.
  void Write(uint64_t offset, AlignedBuffer buffer);
  // Copies into `into` the bytes at `offset` from the newest queued write that holds them
  // all; false when none does, and every write that touched them is then in the file.
  bool ReadQueued(uint64_t offset, std::span<uint8_t> into);
  // The end of the file as far as the writes done so far have taken it.
  uint64_t written_end();
  // Waits until every write handed over is in the file.
  void Drain();
  // Drops what is queued, lets the write under way end and stops the thread: the caller
  // failed and removes the file. Nothing may be written after.
  void Abandon();

  // Test-only: writes through the cache, as where the system has no uncached writes.
  static void DisableUncachedWritesForTesting(bool disabled);

 private:
  struct Queued {
    uint64_t offset = 0;
    AlignedBuffer buffer;
  };
  void Work();
  void WriteOne(const Queued& write);
  void RaiseIfFailed();

  const FileHandle& file_;
  std::filesystem::path path_;
  size_t buffer_bytes_;
  FileHandle uncached_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Writes not yet in the file, oldest first; the front one is being written while busy_.
  std::deque<Queued> queue_;
  std::vector<AlignedBuffer> spare_;
  bool busy_ = false;
  bool stopping_ = false;
  std::exception_ptr error_;
  uint64_t written_end_ = 0;
  // Through the cache, the file is handed to the disk in windows as it grows (see WriteBack).
  uint64_t written_back_ = 0;
  uint64_t waited_ = 0;
  std::thread thread_;
};

}  // namespace jet::store
