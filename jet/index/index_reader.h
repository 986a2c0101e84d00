#pragma once
// Reading a real index: its entries in key order, from the root page down.

#include <cstdint>
#include <optional>
#include <span>
#include <unordered_set>
#include <vector>

#include "jet/common/format.h"
#include "jet/common/page_source.h"
#include "jet/index/index_entry.h"
#include "jet/index/index_page.h"

namespace jet {

// Deeper than any tree a Jet file can hold (a page carries at least two entries of at most a
// few hundred bytes); a deeper walk means a damaged tree.
inline constexpr size_t kMaxIndexDepth = 32;

// Streams the leaf entries of one index B-tree in key order. It descends through intermediate
// pages (each entry's child, then the tail page), so it does not depend on the leaves' sibling
// links; those are for the checker to compare. Every page is read at most once per walk, so a
// damaged tree that loops raises a corrupt-database error instead of hanging, as do a page
// that is not an index page, belongs to another table, or lies too deep.
class IndexCursor {
 public:
  // `owner_definition_page`: the table's definition page; 0 takes the root page's owner.
  IndexCursor(PageSource& pages, Format format, uint32_t root_page, uint32_t owner_definition_page = 0);

  // The next leaf entry, or false after the last.
  bool Next(IndexEntry& entry);

  // Starts the walk again so that Next yields the first entry whose key is >= `key` (keys
  // compare as unsigned byte strings), then the rest in order.
  void Seek(std::span<const uint8_t> key);

  // Pages this walk has read, in the order read; leaf pages among them, in key order.
  const std::vector<uint32_t>& pages_read() const { return pages_read_; }
  const std::vector<uint32_t>& leaf_pages_read() const { return leaf_pages_read_; }
  uint32_t owner_definition_page() const { return owner_; }

 private:
  struct Level {
    IndexPage page;
    size_t next = 0;          // next entry (leaf) or child entry (intermediate)
    bool tail_taken = false;  // intermediate: the tail page has been entered
  };
  void Restart();
  void Enter(uint32_t page_number);

  PageSource& pages_;
  Format format_;
  uint32_t root_;
  uint32_t owner_;
  bool started_ = false;
  std::vector<Level> path_;  // root first
  std::unordered_set<uint32_t> seen_;
  std::vector<uint32_t> pages_read_;
  std::vector<uint32_t> leaf_pages_read_;
};

// Every page of the tree under `root_page`, each once, for taking the tree apart: the
// intermediate pages are parsed for their children, the leaves only checked by their header
// (an index page of the table at `owner_definition_page`), since their entries do not
// matter. Raises as IndexCursor does for a tree that loops, lies too deep, or reaches a page
// outside the file, of another kind or of another table.
std::vector<uint32_t> IndexTreePages(PageSource& pages, Format format, uint32_t root_page,
                                     uint32_t owner_definition_page);

bool KeyLess(std::span<const uint8_t> a, std::span<const uint8_t> b);

// The first entry whose key is >= `key`, or nothing when every key is smaller.
std::optional<IndexEntry> FindFirstAtLeast(PageSource& pages, Format format, uint32_t root_page,
                                           std::span<const uint8_t> key);

// Every entry whose key equals `key`, in index order.
std::vector<IndexEntry> FindEqual(PageSource& pages, Format format, uint32_t root_page, std::span<const uint8_t> key);

}  // namespace jet
