#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

namespace jet::store {

// The thin layer between the store and the operating system. Every failure is raised as a
// jet::Error with a Jet number, so callers above never see errno or GetLastError().

#ifdef _WIN32
using NativeHandle = void*;
#else
using NativeHandle = int;
#endif

// An open file, closed when it goes out of scope.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(NativeHandle handle) : handle_(handle) {}
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle();

  bool is_open() const;
  NativeHandle native() const { return handle_; }
  void Reset();

 private:
#ifdef _WIN32
  NativeHandle handle_ = nullptr;
#else
  NativeHandle handle_ = -1;
#endif
};

enum class OpenMode { kRead, kReadWrite };

// Opens an existing file. A missing file raises 3024, a file that may not be opened as asked
// (read-only file, read-only folder or medium, permission) raises 3051.
FileHandle OpenExisting(const std::filesystem::path& path, OpenMode mode);
// Creates a file that must not exist yet, readable and writable only by the owner until the
// caller gives it its final mode.
FileHandle CreateNew(const std::filesystem::path& path);

uint64_t FileSize(const FileHandle& file, const std::filesystem::path& path);
// Reads exactly bytes.size() bytes at offset; a short read is a damaged (truncated) file.
void ReadAt(const FileHandle& file, uint64_t offset, std::span<uint8_t> bytes, const std::filesystem::path& path);
// Writes all of bytes at the file's current end (the store only ever writes files front to back).
void WriteAll(const FileHandle& file, std::span<const uint8_t> bytes, const std::filesystem::path& path);
// Writes all of bytes at `offset`, for files built out of order (a compaction's output).
void WriteAt(const FileHandle& file, uint64_t offset, std::span<const uint8_t> bytes, const std::filesystem::path& path);
// Opens `path` a second time, for writes that go to the disk without passing through the
// system's cache, where the platform and the filesystem have such writes; an empty handle
// where not. Reads and cached writes keep to the first handle.
FileHandle OpenForUncachedWrites(const std::filesystem::path& path) noexcept;
// Writes all of bytes at `offset` through a handle from OpenForUncachedWrites; the buffer, the
// offset and the length must be aligned to the disk's blocks. False when the system refuses
// the write uncached (an alignment it does not take): the caller writes it all again through
// the cache. Other failures raise as WriteAt raises them.
bool WriteUncachedAt(const FileHandle& file, uint64_t offset, std::span<const uint8_t> bytes,
                     const std::filesystem::path& path);
// Copies `length` bytes of `from` at `from_offset` to `to` at `to_offset`, in the kernel where
// the system can (no trip through this process's memory; a filesystem that shares blocks may
// share them), else by reading and writing. A source ending early is a damaged file; write
// failures raise as WriteAt raises them.
void CopyRange(const FileHandle& from, uint64_t from_offset, const FileHandle& to, uint64_t to_offset,
               uint64_t length, const std::filesystem::path& from_path, const std::filesystem::path& to_path);
// Test-only: makes CopyRange read and write as where the system has no in-kernel copy.
void DisableKernelCopyForTesting(bool disabled);
void SyncFile(const FileHandle& file, const std::filesystem::path& path);
// Starts writing bytes [offset, offset + length) of the file to the disk now, and waits for
// the writing of [wait_offset, wait_offset + wait_length) started earlier, so that a long
// write reaches the disk as it goes instead of all at its final sync, and dirty memory stays
// bounded. Only a hint: failures are left for SyncFile to report, and where the platform has
// no such call nothing happens.
void WriteBack(const FileHandle& file, uint64_t offset, uint64_t length, uint64_t wait_offset,
               uint64_t wait_length) noexcept;
// Gives `to` the permission bits and, where the user may, the owner of `from`, so that a
// file written in another's place keeps what the old one had.
void CopyModeAndOwner(const FileHandle& from, const FileHandle& to, const std::filesystem::path& path);
// Makes a rename or a new name in the folder durable; a no-op where the platform has no
// such call (Windows makes the rename durable with its write-through flag).
void SyncDirectory(const std::filesystem::path& folder);
// Replaces `to` with `from` in one step: a reader sees the old file or the new one, never
// neither.
void RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
// Gives `from` the name `to`, which must not exist: 3204 when it does, so that a finished
// file never replaces one that appeared in the meantime.
void RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);
// Takes the whole-file lock that marks a database as held for writing; false when another
// process holds it. Released when the handle closes.
bool TryLockExclusive(const FileHandle& file, const std::filesystem::path& path);
// Removes a file if it is there; failures are ignored (used for clean-up only).
void RemoveQuietly(const std::filesystem::path& path) noexcept;

// Test-only: make the n-th call (1 = the next one) of a step fail with an errno value
// (ENOSPC, EIO, EACCES, ...) as if the system had returned it. Counting starts when the fault
// is set; a fault fires once and is then gone.
enum class IoStep { kWrite, kSync, kRename };
struct InjectedFault {
  IoStep step;
  int nth;
  int error;
};
void InjectFaultForTesting(std::optional<InjectedFault> fault);
// Test-only: whether the fault set last has not fired yet (the run made fewer calls).
bool InjectedFaultPending();

// The Jet error for a system error number of a write-side step: 3043 with a text that says
// what happened (disk full, permission, input/output).
[[noreturn]] void ThrowIoError(int error, const char* action, const std::filesystem::path& path);

}  // namespace jet::store
