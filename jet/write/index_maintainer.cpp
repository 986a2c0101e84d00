#include "jet/write/index_maintainer.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"
#include "jet/index/index_page.h"
#include "jet/index/index_reader.h"
#include "jet/write/index_builder.h"
#include "jet/write/index_page_writer.h"
#include "jet/write/usage_map_writer.h"

namespace jet {
namespace {

size_t PointerBytes(uint8_t type) { return type == kIndexLeafPageType ? 4 : 8; }

bool SameEntry(const IndexEntry& a, const IndexEntry& b) {
  return a.key == b.key && a.data_page == b.data_page && a.data_row == b.data_row;
}

// An entry as the level above names a page: the greatest entry below it, with that page.
IndexEntry NamingEntry(const IndexEntry& greatest, uint32_t child) {
  IndexEntry entry{greatest.key, greatest.data_page, greatest.data_row, child};
  return entry;
}

std::string RowText(const IndexEntry& entry) {
  return std::to_string(entry.data_page) + "/" + std::to_string(entry.data_row);
}

// One page's share of a page whose entries no longer fit. All but the last share go to new
// pages; `upper` is what the parent gets for such a share: the greatest entry below it.
struct Share {
  std::vector<IndexEntry> entries;
  uint32_t tail = 0;
  std::optional<IndexEntry> upper;
};

// Bytes entries [from, to) of a sorted run take on a page with all the prefix they share. In
// a sorted run every key shares with the first at least what the last shares with it.
class RunSizes {
 public:
  RunSizes(const std::vector<IndexEntry>& entries, uint8_t type) : entries_(entries), sums_(entries.size() + 1, 0) {
    for (size_t i = 0; i < entries.size(); ++i) sums_[i + 1] = sums_[i] + entries[i].key.size() + PointerBytes(type);
  }
  size_t operator()(size_t from, size_t to) const {
    if (from >= to) return 0;
    const size_t whole = sums_[to] - sums_[from];
    if (to - from == 1) return whole;
    const std::vector<uint8_t>& first = entries_[from].key;
    const size_t prefix = std::min({kMaxIndexPrefix, first.size(), CommonPrefix(first, entries_[to - 1].key)});
    return whole - (to - from - 1) * prefix;
  }

 private:
  const std::vector<IndexEntry>& entries_;
  std::vector<size_t> sums_;
};

bool Fits(const std::vector<IndexEntry>& entries, uint8_t type, Format format) {
  return EncodedEntriesSize(entries, type, SharedPrefixLength(entries)) <= IndexPageEntryCapacity(format);
}

// Cuts the contents of one page into shares that each fit, halving by bytes. A leaf is cut
// between two entries; an intermediate page at an entry, which goes up to the parent while
// its child becomes the tail of the share before it.
void Cut(std::vector<IndexEntry> entries, uint32_t tail, uint8_t type, Format format, std::vector<Share>& out) {
  if (Fits(entries, type, format)) {
    out.push_back(Share{std::move(entries), tail, std::nullopt});
    return;
  }
  const bool leaf = type == kIndexLeafPageType;
  const size_t n = entries.size();
  if (n < (leaf ? 2u : 1u)) throw Error(err::kNotSupported, "An index key is too long for a page.");
  const RunSizes size(entries, type);
  size_t best = leaf ? 1 : 0;
  size_t best_cost = std::numeric_limits<size_t>::max();
  for (size_t at = best; at < n; ++at) {
    const size_t cost = std::max(size(0, at), size(leaf ? at : at + 1, n));
    if (cost < best_cost) {
      best_cost = cost;
      best = at;
    }
  }
  std::vector<IndexEntry> right(entries.begin() + static_cast<ptrdiff_t>(leaf ? best : best + 1), entries.end());
  const IndexEntry upper = leaf ? entries[best - 1] : entries[best];
  const uint32_t left_tail = leaf ? 0 : entries[best].child_page;
  entries.resize(best);
  Cut(std::move(entries), left_tail, type, format, out);
  out.back().upper = NamingEntry(upper, 0);
  Cut(std::move(right), tail, type, format, out);
}

// One insertion or removal: the path from the root to the leaf that holds the entry, changed
// from the leaf upwards.
class TreeEdit {
 public:
  TreeEdit(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, size_t real_index)
      : pages_(pages), allocator_(allocator), table_(table), format_(table.format) {
    if (real_index >= table.real_indexes.size())
      throw Error(err::kItemNotFound, "Item not found in this collection.");
    index_ = &table.real_indexes[real_index];
  }

  void Insert(IndexEntry entry) {
    entry.child_page = 0;
    if (entry.key.size() + PointerBytes(kIndexLeafPageType) > IndexPageEntryCapacity(format_))
      throw Error(err::kNotSupported, "An index key is too long for a page.");
    Descend(entry);
    std::vector<IndexEntry>& leaf = path_.back().page.entries;
    const auto at = std::lower_bound(leaf.begin(), leaf.end(), entry, IndexEntryLess);
    const size_t position = static_cast<size_t>(at - leaf.begin());
    if (at != leaf.end() && SameEntry(*at, entry))
      ThrowCorrupt("the index already has an entry for row " + RowText(entry));
    const bool key_known = KeyBefore(position, entry.key) || KeyFrom(position, entry.key);
    if (key_known && (index_->flags & index_flag::kUnique) != 0 && !IsAllNullKey(*index_, entry.key))
      ThrowDuplicateIndexKey();
    leaf.insert(leaf.begin() + static_cast<ptrdiff_t>(position), entry);
    WriteUpwards();
    ++index_->row_count;
    if (!key_known) ++index_->unique_entry_count;
  }

  void Remove(IndexEntry entry) {
    entry.child_page = 0;
    removing_ = true;
    Descend(entry);
    std::vector<IndexEntry>& leaf = path_.back().page.entries;
    const auto at = std::lower_bound(leaf.begin(), leaf.end(), entry, IndexEntryLess);
    if (at == leaf.end() || !SameEntry(*at, entry))
      ThrowCorrupt("the index has no entry for row " + RowText(entry));
    const size_t position = static_cast<size_t>(at - leaf.begin());
    const bool key_stays = KeyBefore(position, entry.key) || KeyFrom(position + 1, entry.key);
    leaf.erase(at);
    WriteUpwards();
    if (index_->row_count > 0) --index_->row_count;
    if (!key_stays && index_->unique_entry_count > 0) --index_->unique_entry_count;
  }

 private:
  struct Step {
    IndexPage page;
    // Intermediate pages: the child on the path, as a position among the entries; the number
    // of entries stands for the tail.
    size_t slot = 0;
    bool changed = false;
    // The greatest entry below the page, when the change below may have moved it.
    std::optional<IndexEntry> greatest;
  };

  IndexPage ReadPage(uint32_t number) {
    if (number == 0 || number >= pages_.page_count())
      ThrowCorrupt("index tree at page " + std::to_string(index_->first_page) + " points at page " +
                   std::to_string(number) + ", outside the file");
    IndexPage page = ParseIndexPage(pages_.Page(number), format_, number);
    if (page.owner != table_.definition_page)
      ThrowCorrupt("index page " + std::to_string(number) + " belongs to the table at page " +
                   std::to_string(page.owner) + ", not " + std::to_string(table_.definition_page));
    return page;
  }

  // The path to the leaf where `target` belongs: at each intermediate page the first child
  // whose greatest entry is not below it, or the tail past them all.
  void Descend(const IndexEntry& target) {
    std::unordered_set<uint32_t> seen;
    uint32_t number = index_->first_page;
    for (;;) {
      if (path_.size() >= kMaxIndexDepth)
        ThrowCorrupt("index tree at page " + std::to_string(index_->first_page) + " is too deep");
      if (!seen.insert(number).second)
        ThrowCorrupt("index tree at page " + std::to_string(index_->first_page) + " reaches page " +
                     std::to_string(number) + " twice");
      Step step;
      step.page = ReadPage(number);
      if (step.page.leaf()) {
        path_.push_back(std::move(step));
        return;
      }
      const std::vector<IndexEntry>& entries = step.page.entries;
      step.slot = static_cast<size_t>(
          std::find_if(entries.begin(), entries.end(),
                       [&](const IndexEntry& candidate) { return !IndexEntryLess(candidate, target); }) -
          entries.begin());
      // A page without a tail ends with its last entry's child.
      if (step.slot == entries.size() && step.page.tail_page == 0) {
        if (entries.empty()) ThrowCorrupt("index page " + std::to_string(number) + " names no page below it");
        step.slot = entries.size() - 1;
      }
      number = step.slot < entries.size() ? entries[step.slot].child_page : step.page.tail_page;
      path_.push_back(std::move(step));
    }
  }

  // The leaf beside the path's leaf, by its sibling link; nothing at the end of the level.
  std::optional<IndexPage> Sibling(uint32_t number) {
    if (number == 0) return std::nullopt;
    IndexPage page = ReadPage(number);
    if (!page.leaf()) ThrowCorrupt("index leaf links to page " + std::to_string(number) + ", no leaf");
    return page;
  }

  // Whether the entry just before `position` in the index has `key`.
  bool KeyBefore(size_t position, const std::vector<uint8_t>& key) {
    const IndexPage& leaf = path_.back().page;
    if (position > 0) return leaf.entries[position - 1].key == key;
    const auto previous = Sibling(leaf.previous_page);
    return previous && !previous->entries.empty() && previous->entries.back().key == key;
  }

  // Whether the entry at `position` in the index (maybe on the next leaf) has `key`.
  bool KeyFrom(size_t position, const std::vector<uint8_t>& key) {
    const IndexPage& leaf = path_.back().page;
    if (position < leaf.entries.size()) return leaf.entries[position].key == key;
    const auto next = Sibling(leaf.next_page);
    return next && !next->entries.empty() && next->entries.front().key == key;
  }

  void MarkInMap(uint32_t page, bool used) {
    if (index_->usage_map_pointer == 0) return;
    SetUsageMapBit(pages_, format_, index_->usage_map_pointer, page, used, Uncovered::kUnmarked,
                   [this] { return allocator_.Allocate(); });
  }

  uint32_t NewPage() {
    const uint32_t page = allocator_.Allocate();
    MarkInMap(page, true);
    return page;
  }

  void FreePage(uint32_t page) {
    MarkInMap(page, false);
    allocator_.Release(page);
  }

  // Rewrites one sibling link of a page off the path.
  void SetLink(uint32_t page, bool next, uint32_t value) {
    if (page == 0) return;
    ReadPage(page);
    const IndexPageLayout layout = IndexPageLayoutOf(format_);
    PutU32(pages_.MutablePage(page).data() + (next ? layout.next_page : layout.previous_page), value);
  }

  void Write(const IndexPage& page) {
    IndexPageFrame frame;
    frame.type = page.type;
    frame.owner = table_.definition_page;
    frame.previous_page = page.previous_page;
    frame.next_page = page.next_page;
    frame.tail_page = page.leaf() ? 0 : page.tail_page;
    const std::vector<uint8_t> bytes = EncodeIndexPage(frame, page.entries, format_);
    std::span<uint8_t> target = pages_.MutablePage(page.number);
    std::copy(bytes.begin(), bytes.end(), target.begin());
  }

  // Writes a changed page, split into shares when its entries no longer fit. Returns the
  // entries its parent must add before it, naming the new pages.
  std::vector<IndexEntry> Store(Step& step) {
    IndexPage& page = step.page;
    if (page.number == 0) page.number = NewPage();  // a new root
    std::vector<Share> shares;
    Cut(page.entries, page.tail_page, page.type, format_, shares);
    std::vector<IndexEntry> named;
    if (shares.size() > 1) {
      std::vector<uint32_t> numbers;
      for (size_t i = 0; i + 1 < shares.size(); ++i) numbers.push_back(NewPage());
      numbers.push_back(page.number);
      const uint32_t before = page.previous_page;
      SetLink(before, true, numbers.front());
      for (size_t i = 0; i + 1 < shares.size(); ++i) {
        IndexPage piece;
        piece.number = numbers[i];
        piece.type = page.type;
        piece.previous_page = i == 0 ? before : numbers[i - 1];
        piece.next_page = numbers[i + 1];
        piece.tail_page = shares[i].tail;
        piece.entries = std::move(shares[i].entries);
        Write(piece);
        named.push_back(NamingEntry(*shares[i].upper, numbers[i]));
      }
      page.previous_page = numbers[numbers.size() - 2];
      page.entries = std::move(shares.back().entries);
      page.tail_page = shares.back().tail;
    }
    Write(page);
    return named;
  }

  // An intermediate page left with its tail alone hands that child to a sibling under the
  // same parent, when the sibling has room, and goes: a tree without such pages is what Access
  // itself writes. Returns whether it went.
  bool MergeIntoSibling(size_t level) {
    const IndexPage& page = path_[level].page;
    const std::optional<IndexEntry>& greatest = path_[level].greatest;  // set when the change below moved it
    Step& parent = path_[level - 1];
    std::vector<IndexEntry>& entries = parent.page.entries;
    const size_t slot = parent.slot;
    const uint32_t only_child = page.tail_page;
    if (slot < entries.size()) {
      // Into the next sibling, as its first child, named by the entry that named this page.
      const uint32_t right = slot + 1 < entries.size() ? entries[slot + 1].child_page : parent.page.tail_page;
      if (right == 0) return false;
      IndexPage sibling = ReadPage(right);
      if (sibling.leaf()) return false;
      sibling.entries.insert(sibling.entries.begin(), NamingEntry(greatest ? *greatest : entries[slot], only_child));
      if (!Fits(sibling.entries, sibling.type, format_)) return false;
      sibling.previous_page = page.previous_page;
      SetLink(page.previous_page, true, right);
      Write(sibling);
      entries.erase(entries.begin() + static_cast<ptrdiff_t>(slot));
    } else {
      // The tail: into the previous sibling, whose old tail its last entry now names.
      if (entries.empty()) return false;
      const uint32_t left = entries.back().child_page;
      IndexPage sibling = ReadPage(left);
      if (sibling.leaf() || sibling.tail_page == 0) return false;
      sibling.entries.push_back(NamingEntry(entries.back(), sibling.tail_page));
      sibling.tail_page = only_child;
      if (!Fits(sibling.entries, sibling.type, format_)) return false;
      sibling.next_page = page.next_page;
      SetLink(page.next_page, false, left);
      Write(sibling);
      parent.page.tail_page = left;
      entries.pop_back();
      // The sibling is the parent's last child now, and holds what this page held.
      if (greatest) parent.greatest = greatest;
    }
    FreePage(page.number);
    parent.changed = true;
    return true;
  }

  // A leaf that removals left less than a quarter full joins a neighbour under the same
  // parent when both fit on one page, so that a table emptied by deletes does not keep a page
  // per handful of entries. The quarter leaves room for inserts before the next split.
  bool Underfull(const IndexPage& leaf) const {
    return removing_ && !leaf.entries.empty() &&
           EncodedEntriesSize(leaf.entries, leaf.type, SharedPrefixLength(leaf.entries)) <
               IndexPageEntryCapacity(format_) / 4;
  }

  // The path's leaf goes into its next sibling, whose naming entry stays right because its
  // greatest entry does not change. Returns whether it went.
  bool MergeLeafIntoNext(size_t level) {
    const IndexPage& page = path_[level].page;
    Step& parent = path_[level - 1];
    const std::vector<IndexEntry>& entries = parent.page.entries;
    const size_t slot = parent.slot;
    if (slot >= entries.size()) return false;  // the tail has no next sibling under this parent
    const uint32_t right = slot + 1 < entries.size() ? entries[slot + 1].child_page : parent.page.tail_page;
    if (right == 0 || right != page.next_page) return false;
    IndexPage sibling = ReadPage(right);
    if (!sibling.leaf()) return false;
    std::vector<IndexEntry> joined = page.entries;
    joined.insert(joined.end(), sibling.entries.begin(), sibling.entries.end());
    if (!Fits(joined, sibling.type, format_)) return false;
    sibling.entries = std::move(joined);
    sibling.previous_page = page.previous_page;
    SetLink(page.previous_page, true, right);
    Write(sibling);
    FreePage(page.number);
    TellParent(parent, true, {}, std::nullopt);
    return true;
  }

  // The previous sibling's entries come onto the path's leaf and its page goes; the parent
  // loses the entry that named it. Returns whether it did.
  bool TakeInPreviousLeaf(size_t level) {
    IndexPage& page = path_[level].page;
    Step& parent = path_[level - 1];
    std::vector<IndexEntry>& entries = parent.page.entries;
    const size_t slot = parent.slot;
    if (slot == 0 || slot > entries.size()) return false;
    const uint32_t left = entries[slot - 1].child_page;
    if (left == 0 || left != page.previous_page) return false;
    const IndexPage sibling = ReadPage(left);
    if (!sibling.leaf()) return false;
    std::vector<IndexEntry> joined = sibling.entries;
    joined.insert(joined.end(), page.entries.begin(), page.entries.end());
    if (!Fits(joined, page.type, format_)) return false;
    page.entries = std::move(joined);
    page.previous_page = sibling.previous_page;
    SetLink(sibling.previous_page, true, page.number);
    FreePage(left);
    entries.erase(entries.begin() + static_cast<ptrdiff_t>(slot - 1));
    --parent.slot;
    parent.changed = true;
    return true;
  }

  void Unlink(const IndexPage& page) {
    SetLink(page.previous_page, true, page.next_page);
    SetLink(page.next_page, false, page.previous_page);
  }

  // What a child's change does to its parent: the child is gone, or new pages come before
  // it, or its greatest entry moved. Returns whether the parent changed.
  bool TellParent(Step& parent, bool child_gone, const std::vector<IndexEntry>& named,
                  const std::optional<IndexEntry>& child_greatest) {
    std::vector<IndexEntry>& entries = parent.page.entries;
    const bool tail_child = parent.slot >= entries.size();
    if (child_gone) {
      if (!tail_child) {
        const bool was_last = parent.page.tail_page == 0 && parent.slot + 1 == entries.size();
        entries.erase(entries.begin() + static_cast<ptrdiff_t>(parent.slot));
        if (was_last && !entries.empty()) parent.greatest = NamingEntry(entries.back(), 0);
      } else if (!entries.empty()) {
        // The last named child becomes the tail; what it held is now the greatest below.
        parent.page.tail_page = entries.back().child_page;
        parent.greatest = NamingEntry(entries.back(), 0);
        entries.pop_back();
      } else {
        parent.page.tail_page = 0;
      }
      parent.changed = true;
      return true;
    }
    bool changed = !named.empty();
    entries.insert(entries.begin() + static_cast<ptrdiff_t>(parent.slot), named.begin(), named.end());
    parent.slot += named.size();
    if (child_greatest) {
      if (parent.slot < entries.size()) {
        IndexEntry& naming = entries[parent.slot];
        if (!SameEntry(naming, *child_greatest)) {
          naming = NamingEntry(*child_greatest, naming.child_page);
          changed = true;
        }
      }
      const bool last_child = tail_child || (parent.page.tail_page == 0 && parent.slot + 1 == entries.size());
      if (last_child) parent.greatest = child_greatest;
    }
    parent.changed = parent.changed || changed;
    return changed || parent.greatest.has_value();
  }

  // Carries the leaf's change up the path: pages written, split, or freed when empty; then a
  // root with a single child gives way to it.
  void WriteUpwards() {
    path_.back().changed = true;
    for (size_t level = path_.size() - 1;; --level) {
      Step& step = path_[level];
      IndexPage& page = step.page;
      if (page.leaf() && !page.entries.empty()) step.greatest = NamingEntry(page.entries.back(), 0);
      const bool empty = page.entries.empty() && (page.leaf() || page.tail_page == 0);
      if (level == 0) {
        if (empty) page.type = kIndexLeafPageType;  // no entries left: one empty leaf
        if (!step.changed) break;
        std::vector<IndexEntry> named = Store(step);
        if (named.empty()) break;
        // The root split: a new root names the pieces, the old root's page is its tail.
        Step root;
        root.page.type = kIndexIntermediatePageType;
        root.page.owner = table_.definition_page;
        root.page.tail_page = page.number;
        path_.insert(path_.begin(), std::move(root));
        TellParent(path_[0], false, named, std::nullopt);
        level = 1;  // the loop steps to the new root
        continue;
      }
      bool parent_changed = false;
      if (empty) {
        Unlink(page);
        FreePage(page.number);
        parent_changed = TellParent(path_[level - 1], true, {}, std::nullopt);
      } else if (!page.leaf() && page.entries.empty() && MergeIntoSibling(level)) {
        parent_changed = true;
      } else if (page.leaf() && Underfull(page) && MergeLeafIntoNext(level)) {
        parent_changed = true;
      } else {
        const bool took_previous = page.leaf() && Underfull(page) && TakeInPreviousLeaf(level);
        const std::vector<IndexEntry> named = step.changed ? Store(step) : std::vector<IndexEntry>{};
        parent_changed = TellParent(path_[level - 1], false, named, step.greatest) || took_previous;
      }
      if (!parent_changed) break;
    }
    index_->first_page = path_.front().page.number;
    CollapseRoot();
  }

  void CollapseRoot() {
    for (;;) {
      const IndexPage root = ReadPage(index_->first_page);
      if (root.leaf() || !root.entries.empty() || root.tail_page == 0) return;
      FreePage(root.number);
      index_->first_page = root.tail_page;
    }
  }

  store::PageOverlay& pages_;
  PageAllocator& allocator_;
  TableDef& table_;
  Format format_;
  RealIndexDef* index_ = nullptr;
  std::vector<Step> path_;  // root first
  bool removing_ = false;
};

}  // namespace

void InsertIndexEntry(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, size_t real_index,
                      const IndexEntry& entry) {
  TreeEdit(pages, allocator, table, real_index).Insert(entry);
}

void RemoveIndexEntry(store::PageOverlay& pages, PageAllocator& allocator, TableDef& table, size_t real_index,
                      const IndexEntry& entry) {
  TreeEdit(pages, allocator, table, real_index).Remove(entry);
}

}  // namespace jet
