#include "jet/store/write_session.h"

#include "jet/common/error.h"
#include "jet/store/shadow_commit.h"

namespace jet::store {
namespace {

[[noreturn]] void ThrowHeld(const std::filesystem::path& path) {
  throw Error(err::kInUseExclusive, "The database '" + path.string() +
                                        "' is already opened exclusively by another user or process.");
}

}  // namespace

std::filesystem::path LockFilePathFor(const std::filesystem::path& database) {
  std::filesystem::path lock = database;
  lock.replace_extension(".ldb");
  return lock;
}

std::unique_ptr<WriteSession> WriteSession::Open(const std::filesystem::path& path) {
  std::unique_ptr<WriteSession> session(new WriteSession(path));
  session->file_ = OpenExisting(path, OpenMode::kReadWrite);
  if (!TryLockExclusive(session->file_, path)) ThrowHeld(path);

  // The lock file tells Access (and people looking at the folder) that the database is in
  // use. One that another writer holds means the database is held, whatever the OS lock said.
  session->lock_file_path_ = LockFilePathFor(path);
  try {
    session->lock_file_ = CreateNew(session->lock_file_path_);
    session->made_lock_file_ = true;
  } catch (const Error&) {
    session->lock_file_ = OpenExisting(session->lock_file_path_, OpenMode::kReadWrite);
  }
  if (!TryLockExclusive(session->lock_file_, session->lock_file_path_)) {
    session->made_lock_file_ = false;
    ThrowHeld(path);
  }
  // A lock file nobody holds was left by a process that ended without closing (a crash, a
  // kill): it is ours now, and goes when we close, as Access removes the last user's.
  session->made_lock_file_ = true;

  RemoveStaleShadows(path);
  RemoveStaleFiles(path, kScratchMarker);
  session->reader_ = std::make_unique<FilePageReader>(session->file_, path);
  session->overlay_ = std::make_unique<PageOverlay>(*session->reader_);
  session->overlay_->EnableSpill(UniquePathBeside(path, kScratchMarker), kDefaultPageMemoryBudget);
  return session;
}

void WriteSession::SetPageMemoryBudget(size_t bytes) { overlay_->EnableSpill(overlay_->scratch_path(), bytes); }

WriteSession::~WriteSession() {
  overlay_.reset();
  reader_.reset();
  file_.Reset();
  if (made_lock_file_) RemoveQuietly(lock_file_path_);
  lock_file_.Reset();
}

// The scratch file holds the spilled pages at their places already: the rest written there
// too, it is the new file, made durable and renamed over the database as a shadow is. Until
// the rename the database is untouched and the file stays the overlay's scratch file.
FileHandle WriteSession::CommitThroughScratch(const std::vector<bool>& discarded) {
  const std::filesystem::path scratch = overlay_->scratch_path();
  overlay_->CompleteScratch(file_, path_, discarded);
  FileHandle& file = overlay_->scratch_file();
  CopyModeAndOwner(file_, file, scratch);
  SyncFile(file, scratch);
  // Locked before it takes the database's name, so the name is never unlocked.
  if (!TryLockExclusive(file, path_)) ThrowHeld(path_);
  RenameReplacing(scratch, path_);
  FileHandle written = overlay_->ReleaseScratch(UniquePathBeside(path_, kScratchMarker));
  try {
    SyncDirectory(path_.has_parent_path() ? path_.parent_path() : std::filesystem::path("."));
  } catch (...) {
    // The new file is in place; only the folder entry may not have reached the disk yet.
    // Every reader already sees it.
  }
  return written;
}

void WriteSession::Commit(const std::vector<bool>& discarded) {
  if (!overlay_->changed()) return;
  FileHandle written;
  if (overlay_->CanCompleteScratch()) {
    written = CommitThroughScratch(discarded);
  } else {
    try {
      written = WriteShadowAndReplace(
          *overlay_, path_, file_,
          [&](const FileHandle& fresh) {
            // Lock the new file before it takes the database's name, so the name is never unlocked.
            if (!TryLockExclusive(fresh, path_)) ThrowHeld(path_);
          },
          [&] { overlay_->SpillIfOverBudget(); }, discarded);
    } catch (const CommitNotDurable&) {
      // The new file is in place; only the folder entry may not have reached the disk yet.
      // Carry on with it: every reader already sees it.
      written = OpenExisting(path_, OpenMode::kReadWrite);
      TryLockExclusive(written, path_);
    }
  }
  file_ = std::move(written);
  reader_->Switch(file_);
  // The same overlay, emptied: the writer's allocator and database view refer to it, and a
  // new one in its place left them reading freed memory after a commit.
  overlay_->ForgetChanges();
}

}  // namespace jet::store
