#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "jet/common/page_source.h"
#include "jet/store/file_io.h"

namespace jet::store {

// The marker in the names of the files a commit writes beside the database; a name with it
// is never the database itself, and one left by a killed commit is removed on the next open.
inline constexpr char kShadowMarker[] = ".~vtnew-";
// The marker in the names of the scratch files a write session spills changed pages to. One
// left by a killed process holds nothing anyone reads and is removed on the next open.
inline constexpr char kScratchMarker[] = ".~vtspill-";

// Removes the shadow files a killed commit of this database left behind. Call only while
// holding the database's exclusive lock: then no commit of it is running.
void RemoveStaleShadows(const std::filesystem::path& database) noexcept;
// The same for the files whose names carry `marker` after the database's name.
void RemoveStaleFiles(const std::filesystem::path& database, const char* marker) noexcept;
// A name beside `database` with `marker` that no other file of this process takes.
std::filesystem::path UniquePathBeside(const std::filesystem::path& database, const char* marker);

// Writes every page of `pages` into a new file beside `database`, makes it durable, gives it
// the mode and (where allowed) the owner of `original`, and renames it over `database`.
// Before the rename the original file is untouched and any failure removes the new file and
// raises; the returned handle is the new file, open for reading and writing.
//
// `before_rename` runs on the new file's handle just before the rename (the session locks it
// there, so the lock is never off the path). `between_runs`, when given, runs after each run
// of pages is written, where no page of `pages` is held (a spilling overlay frees memory there).
// Pages marked in `discarded` (by number; never the last) are written as zeros: free pages
// whose old bytes nothing reads, as PageOverlay::CompleteScratch leaves them.
template <typename BeforeRename>
FileHandle WriteShadowAndReplace(PageSource& pages, const std::filesystem::path& database,
                                 const FileHandle& original, BeforeRename&& before_rename,
                                 const std::function<void()>& between_runs = {},
                                 const std::vector<bool>& discarded = {});

// Raised when the new file is in place but the folder could not be made durable: the
// change has happened (every reader now sees it), only a crash could still undo it.
class CommitNotDurable : public std::exception {};

namespace detail {
std::filesystem::path ShadowPathFor(const std::filesystem::path& database);
FileHandle WriteShadow(PageSource& pages, const std::filesystem::path& shadow, const FileHandle& original,
                       const std::function<void()>& between_runs, const std::vector<bool>& discarded);
}  // namespace detail

template <typename BeforeRename>
FileHandle WriteShadowAndReplace(PageSource& pages, const std::filesystem::path& database,
                                 const FileHandle& original, BeforeRename&& before_rename,
                                 const std::function<void()>& between_runs, const std::vector<bool>& discarded) {
  const std::filesystem::path shadow = detail::ShadowPathFor(database);
  FileHandle written;
  try {
    written = detail::WriteShadow(pages, shadow, original, between_runs, discarded);
    before_rename(written);
    RenameReplacing(shadow, database);
  } catch (...) {
    written.Reset();
    RemoveQuietly(shadow);
    throw;
  }
  try {
    SyncDirectory(database.has_parent_path() ? database.parent_path() : std::filesystem::path("."));
  } catch (...) {
    throw CommitNotDurable();
  }
  return written;
}

}  // namespace jet::store
