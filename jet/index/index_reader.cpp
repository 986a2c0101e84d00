#include "jet/index/index_reader.h"

#include <algorithm>
#include <string>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"

namespace jet {

bool KeyLess(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

namespace {

// What every walk down a tree checks before it enters a page: a damaged tree that loops,
// leaves the file or runs too deep raises instead of hanging.
void CheckTreeStep(const PageSource& pages, uint32_t root, uint32_t page_number, size_t depth,
                   std::unordered_set<uint32_t>& seen) {
  if (depth >= kMaxIndexDepth)
    ThrowCorrupt("index tree at page " + std::to_string(root) + " is deeper than " + std::to_string(kMaxIndexDepth) +
                 " levels");
  if (page_number == 0 || page_number >= pages.page_count())
    ThrowCorrupt("index tree at page " + std::to_string(root) + " points at page " + std::to_string(page_number) +
                 ", outside the file");
  if (!seen.insert(page_number).second)
    ThrowCorrupt("index tree at page " + std::to_string(root) + " reaches page " + std::to_string(page_number) +
                 " twice");
}

}  // namespace

IndexCursor::IndexCursor(PageSource& pages, Format format, uint32_t root_page, uint32_t owner_definition_page)
    : pages_(pages), format_(format), root_(root_page), owner_(owner_definition_page) {}

void IndexCursor::Restart() {
  path_.clear();
  seen_.clear();
  pages_read_.clear();
  leaf_pages_read_.clear();
  started_ = true;
  Enter(root_);
}

void IndexCursor::Enter(uint32_t page_number) {
  CheckTreeStep(pages_, root_, page_number, path_.size(), seen_);
  IndexPage page = ParseIndexPage(pages_.Page(page_number), format_, page_number);
  if (owner_ == 0) owner_ = page.owner;
  if (page.owner != owner_)
    ThrowCorrupt("index page " + std::to_string(page_number) + " belongs to the table at page " +
                 std::to_string(page.owner) + ", not " + std::to_string(owner_));
  pages_read_.push_back(page_number);
  if (page.leaf()) leaf_pages_read_.push_back(page_number);
  path_.push_back(Level{std::move(page)});
}

bool IndexCursor::Next(IndexEntry& entry) {
  if (!started_) Restart();
  while (!path_.empty()) {
    Level& level = path_.back();
    const std::vector<IndexEntry>& entries = level.page.entries;
    if (level.page.leaf()) {
      if (level.next < entries.size()) {
        entry = entries[level.next++];
        return true;
      }
    } else if (level.next < entries.size()) {
      Enter(entries[level.next++].child_page);
      continue;
    } else if (!level.tail_taken && level.page.tail_page != 0) {
      level.tail_taken = true;
      Enter(level.page.tail_page);
      continue;
    }
    path_.pop_back();
  }
  return false;
}

void IndexCursor::Seek(std::span<const uint8_t> key) {
  Restart();
  for (;;) {
    Level& level = path_.back();
    const std::vector<IndexEntry>& entries = level.page.entries;
    // An intermediate entry carries the greatest key below it, so the first entry >= key lies
    // under the first such intermediate entry, or under the tail when there is none.
    const auto at = std::find_if(entries.begin(), entries.end(),
                                 [&](const IndexEntry& candidate) { return !KeyLess(candidate.key, key); });
    level.next = static_cast<size_t>(at - entries.begin());
    if (level.page.leaf()) return;
    if (at != entries.end()) {
      ++level.next;
      Enter(at->child_page);
    } else if (level.page.tail_page != 0) {
      level.tail_taken = true;
      Enter(level.page.tail_page);
    } else {
      return;
    }
  }
}

std::vector<uint32_t> IndexTreePages(PageSource& pages, Format format, uint32_t root_page,
                                     uint32_t owner_definition_page) {
  std::vector<uint32_t> found;
  std::unordered_set<uint32_t> seen;
  std::vector<std::pair<uint32_t, size_t>> pending = {{root_page, 0}};  // page, depth
  while (!pending.empty()) {
    const auto [number, depth] = pending.back();
    pending.pop_back();
    CheckTreeStep(pages, root_page, number, depth, seen);
    const std::span<const uint8_t> bytes = pages.Page(number);
    if (!IsIndexPage(bytes) || bytes.size() < 8)
      ThrowCorrupt("page " + std::to_string(number) + " of the index tree at page " + std::to_string(root_page) +
                   " is not an index page");
    const uint32_t owner = ByteReader(bytes, "index page").U32(4);
    if (owner != owner_definition_page)
      ThrowCorrupt("index page " + std::to_string(number) + " belongs to the table at page " + std::to_string(owner) +
                   ", not " + std::to_string(owner_definition_page));
    found.push_back(number);
    if (bytes[0] == kIndexLeafPageType) continue;
    const IndexPage page = ParseIndexPage(bytes, format, number);
    if (page.tail_page != 0) pending.emplace_back(page.tail_page, depth + 1);
    for (auto entry = page.entries.rbegin(); entry != page.entries.rend(); ++entry)
      pending.emplace_back(entry->child_page, depth + 1);
  }
  return found;
}

std::optional<IndexEntry> FindFirstAtLeast(PageSource& pages, Format format, uint32_t root_page,
                                           std::span<const uint8_t> key) {
  IndexCursor cursor(pages, format, root_page);
  cursor.Seek(key);
  // The intermediate keys guide the descent but are not trusted to be exact: entries smaller
  // than the key that a damaged or unusual tree leaves on the way are skipped.
  IndexEntry entry;
  while (cursor.Next(entry))
    if (!KeyLess(entry.key, key)) return entry;
  return std::nullopt;
}

std::vector<IndexEntry> FindEqual(PageSource& pages, Format format, uint32_t root_page, std::span<const uint8_t> key) {
  IndexCursor cursor(pages, format, root_page);
  cursor.Seek(key);
  std::vector<IndexEntry> found;
  IndexEntry entry;
  while (cursor.Next(entry)) {
    if (KeyLess(entry.key, key)) continue;
    if (KeyLess(key, entry.key)) break;
    found.push_back(entry);
  }
  return found;
}

}  // namespace jet
