#include "jet/store/file_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "jet/common/error.h"

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace jet::store {
namespace {

struct FaultState {
  std::mutex mutex;
  std::optional<InjectedFault> fault;
  int calls = 0;
};

FaultState& Faults() {
  static FaultState state;
  return state;
}

// The errno the injected fault asks for at this call of `step`, or 0.
int InjectedError(IoStep step) {
  FaultState& state = Faults();
  std::lock_guard lock(state.mutex);
  if (!state.fault || state.fault->step != step) return 0;
  if (++state.calls < state.fault->nth) return 0;
  const int error = state.fault->error;
  state.fault.reset();
  return error;
}

std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

[[noreturn]] void ThrowDatabaseExists(const std::filesystem::path& path) {
  throw Error(3204, "Database " + Quoted(path) + " already exists.");
}

}  // namespace

void InjectFaultForTesting(std::optional<InjectedFault> fault) {
  FaultState& state = Faults();
  std::lock_guard lock(state.mutex);
  state.fault = fault;
  state.calls = 0;
}

bool InjectedFaultPending() {
  FaultState& state = Faults();
  std::lock_guard lock(state.mutex);
  return state.fault.has_value();
}

void ThrowIoError(int error, const char* action, const std::filesystem::path& path) {
  std::string text;
  switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      text = "Disk or network error: the disk is full. The database " + Quoted(path) +
             " was left as it was; free some space and try again.";
      break;
    case EACCES:
    case EPERM:
    case EROFS:
      text = "Disk or network error: permission denied while " + std::string(action) + " " + Quoted(path) +
             ". The database was left as it was.";
      break;
    default:
      text = "Disk or network error while " + std::string(action) + " " + Quoted(path) + " (" +
             std::strerror(error) + "). The database was left as it was.";
      break;
  }
  throw Error(err::kDiskIo, text);
}

#ifndef _WIN32

FileHandle::FileHandle(FileHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Reset();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

FileHandle::~FileHandle() { Reset(); }

bool FileHandle::is_open() const { return handle_ >= 0; }

void FileHandle::Reset() {
  if (handle_ >= 0) ::close(handle_);
  handle_ = -1;
}

FileHandle OpenExisting(const std::filesystem::path& path, OpenMode mode) {
  const int flags = (mode == OpenMode::kRead ? O_RDONLY : O_RDWR) | O_CLOEXEC;
  int fd;
  do fd = ::open(path.c_str(), flags);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR)
      throw Error(err::kCannotOpenFile, "Could not find file " + Quoted(path) + ".");
    if (error == EACCES || error == EPERM || error == EROFS || error == ETXTBSY)
      throw Error(err::kReadOnly, "The Microsoft Jet database engine cannot open the file " + Quoted(path) +
                                      ". It is already opened exclusively by another user, or you need "
                                      "permission to view its data.");
    ThrowIoError(error, "opening", path);
  }
  FileHandle file(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0) ThrowIoError(errno, "opening", path);
  if (!S_ISREG(info.st_mode))
    throw Error(err::kCorrupt, "Cannot open database " + Quoted(path) + ". It may not be a database that your "
                               "application recognizes, or the file may be corrupt.");
  return file;
}

FileHandle CreateNew(const std::filesystem::path& path) {
  int fd;
  do fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) ThrowIoError(errno, "creating", path);
  return FileHandle(fd);
}

uint64_t FileSize(const FileHandle& file, const std::filesystem::path& path) {
  struct stat info {};
  if (::fstat(file.native(), &info) != 0) ThrowIoError(errno, "reading", path);
  return static_cast<uint64_t>(info.st_size);
}

void ReadAt(const FileHandle& file, uint64_t offset, std::span<uint8_t> bytes, const std::filesystem::path& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::pread(file.native(), bytes.data() + done, bytes.size() - done,
                                static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(errno, "reading", path);
    }
    if (got == 0) ThrowCorrupt("the file " + Quoted(path) + " ends inside a page");
    done += static_cast<size_t>(got);
  }
}

void WriteAll(const FileHandle& file, std::span<const uint8_t> bytes, const std::filesystem::path& path) {
  if (const int error = InjectedError(IoStep::kWrite)) ThrowIoError(error, "writing", path);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(file.native(), bytes.data() + done, bytes.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      ThrowIoError(errno, "writing", path);
    }
    // A zero-byte write of a non-empty buffer makes no progress; treat it as a full disk
    // instead of looping for ever.
    if (put == 0) ThrowIoError(ENOSPC, "writing", path);
    done += static_cast<size_t>(put);
  }
}

namespace {

// Writes all of bytes at `offset`; false when the system answers EINVAL and `refusable` says
// the caller takes that as a refusal (an uncached write it may make again through the cache).
bool WriteAllAt(const FileHandle& file, uint64_t offset, std::span<const uint8_t> bytes,
                const std::filesystem::path& path, bool refusable) {
  if (const int error = InjectedError(IoStep::kWrite)) ThrowIoError(error, "writing", path);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::pwrite(file.native(), bytes.data() + done, bytes.size() - done,
                                 static_cast<off_t>(offset + done));
    if (put < 0) {
      if (errno == EINTR) continue;
      if (errno == EINVAL && refusable) return false;
      ThrowIoError(errno, "writing", path);
    }
    if (put == 0) ThrowIoError(ENOSPC, "writing", path);
    done += static_cast<size_t>(put);
  }
  return true;
}

}  // namespace

void WriteAt(const FileHandle& file, uint64_t offset, std::span<const uint8_t> bytes,
             const std::filesystem::path& path) {
  WriteAllAt(file, offset, bytes, path, false);
}

FileHandle OpenForUncachedWrites(const std::filesystem::path& path) noexcept {
#ifdef O_DIRECT
  int fd;
  do fd = ::open(path.c_str(), O_WRONLY | O_DIRECT | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd < 0 ? FileHandle() : FileHandle(fd);
#else
  (void)path;
  return FileHandle();
#endif
}

bool WriteUncachedAt(const FileHandle& file, uint64_t offset, std::span<const uint8_t> bytes,
                     const std::filesystem::path& path) {
  return WriteAllAt(file, offset, bytes, path, true);
}

void CopyModeAndOwner(const FileHandle& from, const FileHandle& to, const std::filesystem::path& path) {
  struct stat info {};
  if (::fstat(from.native(), &info) != 0) ThrowIoError(errno, "reading", path);
  // The owner first: changing it may clear set-id bits that the mode then restores. A user
  // who is not the owner may not give the file away; the file then belongs to the user who
  // saved it, as it would after Access compacted it, rather than the change being refused.
  if (::fchown(to.native(), info.st_uid, info.st_gid) != 0) {
    if (::fchown(to.native(), static_cast<uid_t>(-1), info.st_gid) != 0) {
      // Group not ours either: keep the default.
    }
  }
  if (::fchmod(to.native(), info.st_mode & 07777) != 0) ThrowIoError(errno, "saving", path);
}

void SyncFile(const FileHandle& file, const std::filesystem::path& path) {
  if (const int error = InjectedError(IoStep::kSync)) ThrowIoError(error, "saving", path);
  // A failed fsync may already have dropped the dirty pages (Linux does), so a retry of fsync
  // alone proves nothing: the caller writes the whole file again.
  if (::fsync(file.native()) != 0) ThrowIoError(errno, "saving", path);
}

void WriteBack(const FileHandle& file, uint64_t offset, uint64_t length, uint64_t wait_offset,
               uint64_t wait_length) noexcept {
#ifdef __linux__
  if (length > 0) ::sync_file_range(file.native(), static_cast<off_t>(offset), static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
  if (wait_length > 0)
    ::sync_file_range(file.native(), static_cast<off_t>(wait_offset), static_cast<off_t>(wait_length),
                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
#else
  (void)file, (void)offset, (void)length, (void)wait_offset, (void)wait_length;
#endif
}

void SyncDirectory(const std::filesystem::path& folder) {
  if (const int error = InjectedError(IoStep::kSync)) ThrowIoError(error, "saving the folder", folder);
  const std::filesystem::path name = folder.empty() ? std::filesystem::path(".") : folder;
  const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) ThrowIoError(errno, "saving the folder", folder);
  FileHandle dir(fd);
  // Some file systems cannot fsync a folder and say so with EINVAL; the rename is then as
  // durable as that file system makes it.
  if (::fsync(fd) != 0 && errno != EINVAL) ThrowIoError(errno, "saving the folder", folder);
}

void RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (const int error = InjectedError(IoStep::kRename)) ThrowIoError(error, "replacing", to);
  if (::rename(from.c_str(), to.c_str()) != 0) ThrowIoError(errno, "replacing", to);
}

void RemoveQuietly(const std::filesystem::path& path) noexcept { ::unlink(path.c_str()); }

void RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (const int error = InjectedError(IoStep::kRename)) ThrowIoError(error, "naming", to);
  // A hard link fails when the name is taken, which a plain rename would silently replace.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return;
  }
  if (errno == EEXIST) ThrowDatabaseExists(to);
  // Folders that have no hard links (FAT, some network shares): check, then rename.
  if (errno == EPERM || errno == ENOTSUP || errno == EOPNOTSUPP || errno == EXDEV) {
    if (::access(to.c_str(), F_OK) == 0) ThrowDatabaseExists(to);
    if (::rename(from.c_str(), to.c_str()) == 0) return;
  }
  ThrowIoError(errno, "naming", to);
}

bool TryLockExclusive(const FileHandle& file, const std::filesystem::path& path) {
  if (::flock(file.native(), LOCK_EX | LOCK_NB) == 0) return true;
  if (errno == EWOULDBLOCK) return false;
  ThrowIoError(errno, "locking", path);
}

#else  // _WIN32

namespace {

int ErrnoFromWindows(DWORD code) {
  switch (code) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    default:
      return EIO;
  }
}

}  // namespace

FileHandle::FileHandle(FileHandle&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    Reset();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

FileHandle::~FileHandle() { Reset(); }

bool FileHandle::is_open() const { return handle_ != nullptr; }

void FileHandle::Reset() {
  if (handle_ != nullptr) ::CloseHandle(handle_);
  handle_ = nullptr;
}

FileHandle OpenExisting(const std::filesystem::path& path, OpenMode mode) {
  const DWORD access = mode == OpenMode::kRead ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
  // Readers of the same process must still see the file, and the commit must be able to
  // replace it while this handle is open; other writers are kept out by the lock.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE handle = ::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const int error = ErrnoFromWindows(::GetLastError());
    if (error == ENOENT) throw Error(err::kCannotOpenFile, "Could not find file " + Quoted(path) + ".");
    if (error == EACCES)
      throw Error(err::kReadOnly, "The Microsoft Jet database engine cannot open the file " + Quoted(path) +
                                      ". It is already opened exclusively by another user, or you need "
                                      "permission to view its data.");
    ThrowIoError(error, "opening", path);
  }
  return FileHandle(handle);
}

FileHandle CreateNew(const std::filesystem::path& path) {
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) ThrowIoError(ErrnoFromWindows(::GetLastError()), "creating", path);
  return FileHandle(handle);
}

uint64_t FileSize(const FileHandle& file, const std::filesystem::path& path) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.native(), &size)) ThrowIoError(ErrnoFromWindows(::GetLastError()), "reading", path);
  return static_cast<uint64_t>(size.QuadPart);
}

void ReadAt(const FileHandle& file, uint64_t offset, std::span<uint8_t> bytes, const std::filesystem::path& path) {
  size_t done = 0;
  while (done < bytes.size()) {
    OVERLAPPED at{};
    const uint64_t position = offset + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    if (!::ReadFile(file.native(), bytes.data() + done, want, &got, &at)) {
      const DWORD code = ::GetLastError();
      if (code != ERROR_HANDLE_EOF) ThrowIoError(ErrnoFromWindows(code), "reading", path);
    }
    if (got == 0) ThrowCorrupt("the file " + Quoted(path) + " ends inside a page");
    done += got;
  }
}

void WriteAll(const FileHandle& file, std::span<const uint8_t> bytes, const std::filesystem::path& path) {
  if (const int error = InjectedError(IoStep::kWrite)) ThrowIoError(error, "writing", path);
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    if (!::WriteFile(file.native(), bytes.data() + done, want, &put, nullptr))
      ThrowIoError(ErrnoFromWindows(::GetLastError()), "writing", path);
    if (put == 0) ThrowIoError(ENOSPC, "writing", path);
    done += put;
  }
}

void SyncFile(const FileHandle& file, const std::filesystem::path& path) {
  if (const int error = InjectedError(IoStep::kSync)) ThrowIoError(error, "saving", path);
  if (!::FlushFileBuffers(file.native())) ThrowIoError(ErrnoFromWindows(::GetLastError()), "saving", path);
}

void WriteBack(const FileHandle&, uint64_t, uint64_t, uint64_t, uint64_t) noexcept {
  // Windows writes cached data behind on its own; FlushFileBuffers makes it durable.
}

void SyncDirectory(const std::filesystem::path& folder) {
  if (const int error = InjectedError(IoStep::kSync)) ThrowIoError(error, "saving the folder", folder);
}

void RenameReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (const int error = InjectedError(IoStep::kRename)) ThrowIoError(error, "replacing", to);
  if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    ThrowIoError(ErrnoFromWindows(::GetLastError()), "replacing", to);
}

void RemoveQuietly(const std::filesystem::path& path) noexcept { ::DeleteFileW(path.c_str()); }

void RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (const int error = InjectedError(IoStep::kRename)) ThrowIoError(error, "naming", to);
  if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return;
  const DWORD code = ::GetLastError();
  if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) ThrowDatabaseExists(to);
  ThrowIoError(ErrnoFromWindows(code), "naming", to);
}

void WriteAt(const FileHandle& file, uint64_t offset, std::span<const uint8_t> bytes,
             const std::filesystem::path& path) {
  if (const int error = InjectedError(IoStep::kWrite)) ThrowIoError(error, "writing", path);
  size_t done = 0;
  while (done < bytes.size()) {
    OVERLAPPED at{};
    const uint64_t position = offset + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    if (!::WriteFile(file.native(), bytes.data() + done, want, &put, &at))
      ThrowIoError(ErrnoFromWindows(::GetLastError()), "writing", path);
    if (put == 0) ThrowIoError(ENOSPC, "writing", path);
    done += put;
  }
}

FileHandle OpenForUncachedWrites(const std::filesystem::path&) noexcept { return FileHandle(); }

bool WriteUncachedAt(const FileHandle&, uint64_t, std::span<const uint8_t>, const std::filesystem::path&) {
  return false;
}

void CopyModeAndOwner(const FileHandle&, const FileHandle&, const std::filesystem::path&) {
  // New files take the folder's permissions, as Access's own copies do.
}

bool TryLockExclusive(const FileHandle& file, const std::filesystem::path& path) {
  OVERLAPPED whole{};
  if (::LockFileEx(file.native(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole))
    return true;
  const DWORD code = ::GetLastError();
  if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING) return false;
  ThrowIoError(ErrnoFromWindows(code), "locking", path);
}

#endif

namespace {
std::atomic<bool> kernel_copy_disabled{false};

void CopyThroughMemory(const FileHandle& from, uint64_t from_offset, const FileHandle& to, uint64_t to_offset,
                       uint64_t length, const std::filesystem::path& from_path, const std::filesystem::path& to_path) {
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(length, uint64_t{1} << 20)));
  while (length > 0) {
    const std::span<uint8_t> chunk(buffer.data(), static_cast<size_t>(std::min<uint64_t>(length, buffer.size())));
    ReadAt(from, from_offset, chunk, from_path);
    WriteAt(to, to_offset, chunk, to_path);
    from_offset += chunk.size();
    to_offset += chunk.size();
    length -= chunk.size();
  }
}

}  // namespace

void DisableKernelCopyForTesting(bool disabled) { kernel_copy_disabled = disabled; }

void CopyRange(const FileHandle& from, uint64_t from_offset, const FileHandle& to, uint64_t to_offset,
               uint64_t length, const std::filesystem::path& from_path, const std::filesystem::path& to_path) {
#ifdef __linux__
  if (!kernel_copy_disabled && length > 0) {
    if (const int error = InjectedError(IoStep::kWrite)) ThrowIoError(error, "writing", to_path);
    while (length > 0) {
      auto in = static_cast<off_t>(from_offset), out = static_cast<off_t>(to_offset);
      const ssize_t copied =
          ::copy_file_range(from.native(), &in, to.native(), &out, static_cast<size_t>(std::min<uint64_t>(length, uint64_t{1} << 30)), 0);
      if (copied < 0) {
        if (errno == EINTR) continue;
        // Not between these files or on this system: what is left goes through memory. The
        // bytes copied so far are in place, so the rest starts where they end.
        if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL || errno == EPERM ||
            errno == ETXTBSY || errno == EBADF)
          break;
        ThrowIoError(errno, "writing", to_path);
      }
      if (copied == 0) ThrowCorrupt("the file " + Quoted(from_path) + " ends inside a page");
      from_offset += static_cast<uint64_t>(copied);
      to_offset += static_cast<uint64_t>(copied);
      length -= static_cast<uint64_t>(copied);
    }
    if (length == 0) return;
  }
#endif
  CopyThroughMemory(from, from_offset, to, to_offset, length, from_path, to_path);
}

}  // namespace jet::store
