#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace jet {

// Where pages come from: the file as it is on disk, or the file with the pages a write
// session changed laid over it. Readers of every layer take pages only through this, so the
// same parsing code serves a database opened for reading and one being changed.
//
// Page() returns a view that stays valid until the next call on the same source; it raises a
// corrupt-database error for a page number past the end of the file. Page 0 is returned as
// stored, with its masked region still masked.
class PageSource {
 public:
  virtual ~PageSource() = default;
  virtual uint32_t page_size() const = 0;
  virtual uint32_t page_count() const = 0;
  virtual std::span<const uint8_t> Page(uint32_t number) = 0;

  // Copies page `number` into `into` (page_size() bytes). Sources that read a file override
  // it to read straight into the caller's buffer: a cache filling itself copies every page
  // of a scan once less.
  virtual void CopyPage(uint32_t number, std::span<uint8_t> into) {
    const auto page = Page(number);
    std::copy(page.begin(), page.end(), into.begin());
  }
  // Appends the bytes of pages first .. first + count - 1 to `out`. Sources that read a file
  // override it to read a run of pages in one call.
  virtual void AppendPages(uint32_t first, uint32_t count, std::vector<uint8_t>& out) {
    for (uint32_t number = first; number - first < count; ++number) {
      const auto page = Page(number);
      out.insert(out.end(), page.begin(), page.end());
    }
  }
};

}  // namespace jet
