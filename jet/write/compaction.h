#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

namespace jet {

// Rows copied so far and the rows the source's definitions announce (a guide, not a promise:
// stored counts may be stale).
using CompactionProgress = std::function<void(uint64_t rows_done, uint64_t rows_total)>;

// Writes `source` again into the new file `destination`: every table with its rows, indexes
// and definition, every catalog row (queries, relationships, permissions, forms, reports,
// modules and whatever else the catalog holds, copied as stored), the header page as it is.
// Pages nothing uses are left out, rows and long values are packed, and the ids the catalog
// gives tables (their definition pages) are renumbered wherever the system tables name them.
//
// The source is held exclusively while it is read and is never changed. The destination is
// built under a temporary name and appears only when complete. Raises 3204 when the
// destination exists, 3356 when another process holds the source, and the source's open
// errors (3024, 3051, 3031, 3343, 3049).
void CompactDatabase(const std::filesystem::path& source, const std::filesystem::path& destination,
                     const CompactionProgress& progress = {});

// Test-only: the memory the index entries of one table may take before sorted runs of them go
// to a file beside the copy (unset: the engine's own budget). A tiny budget makes every
// table with indexes spill.
void SetEntryMemoryBudgetForTesting(std::optional<size_t> bytes);

// Test-only: the rows a table needs (by its stored count) for its keys to be made on a thread
// of their own while its rows are copied (unset: the engine's own bound). 0 gives the thread
// to every table with indexes, UINT32_MAX to none.
void SetKeyingThreadRowsForTesting(std::optional<uint32_t> rows);

}  // namespace jet
