#pragma once

#include <filesystem>
#include <memory>
#include <vector>

#include "jet/store/file_io.h"
#include "jet/store/file_page_reader.h"
#include "jet/store/page_overlay.h"

namespace jet::store {

// A database held for writing. Changes go to the overlay and reach the disk only through
// Commit, which writes a complete new file beside the database and renames it over it: the
// file on disk is always the old database or the new one, never a mixture.
//
// While the session lives the database is locked (an OS lock on the file, and a ".ldb" file
// beside it as Access keeps one), so a second writer is refused instead of losing changes.
class WriteSession {
 public:
  // Raises 3024 for a missing file, 3051 for a read-only file or folder, 3356 when another
  // process holds the database, 3343 / 3049 for a file that is not a sound Jet database.
  static std::unique_ptr<WriteSession> Open(const std::filesystem::path& path);
  ~WriteSession();  // drops uncommitted changes; removes the lock file it made

  WriteSession(const WriteSession&) = delete;
  WriteSession& operator=(const WriteSession&) = delete;

  PageOverlay& pages() { return *overlay_; }
  Format format() const { return reader_->format(); }
  const std::filesystem::path& path() const { return path_; }

  // Makes the changes durable. On failure the file on disk is the old database and the
  // changes stay pending, so the caller may retry or drop them. Base pages marked in
  // `discarded` are free pages whose bytes the commit need not carry over (see
  // PageOverlay::CompleteScratch).
  void Commit(const std::vector<bool>& discarded = {});

  // How much memory changed pages may take before the overlay spills them to its scratch
  // file beside the database. Kept across commits.
  void SetPageMemoryBudget(size_t bytes);
  static constexpr size_t kDefaultPageMemoryBudget = size_t{64} << 20;

 private:
  FileHandle CommitThroughScratch(const std::vector<bool>& discarded);
  explicit WriteSession(std::filesystem::path path) : path_(std::move(path)) {}

  std::filesystem::path path_;
  std::filesystem::path lock_file_path_;
  FileHandle lock_file_;
  bool made_lock_file_ = false;
  FileHandle file_;
  std::unique_ptr<FilePageReader> reader_;
  std::unique_ptr<PageOverlay> overlay_;
};

// The ".ldb" lock file Access keeps beside "<name>.mdb".
std::filesystem::path LockFilePathFor(const std::filesystem::path& database);

}  // namespace jet::store
