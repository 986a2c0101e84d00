#include "jet/store/page_overlay.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "jet/common/error.h"

namespace jet::store {
namespace {

// Spilled pages go to the scratch file in writes of up to this many, so a spill of tens of
// megabytes takes few system calls.
constexpr size_t kPagesPerScratchWrite = 256;

// Buffers of forgotten pages kept for the next ones when no budget says how many: enough
// to spare the allocator most of its work, little enough not to matter.
constexpr size_t kSpareBuffersWithoutBudget = 256;

}  // namespace

PageOverlay::PageOverlay(PageSource& base)
    : base_(base), page_size_(base.page_size()), page_count_(base.page_count()) {}

PageOverlay::~PageOverlay() {
  if (scratch_.is_open()) {
    scratch_.Reset();
    RemoveQuietly(scratch_path_);
  }
}

PageOverlay::Entry* PageOverlay::Find(uint32_t number) {
  if (number >= pages_.size()) return nullptr;
  Entry& entry = pages_[number];
  return entry.bytes || entry.slot != kNoSlot ? &entry : nullptr;
}

std::unique_ptr<uint8_t[]> PageOverlay::NewBuffer() {
  if (!spare_buffers_.empty()) {
    std::unique_ptr<uint8_t[]> buffer = std::move(spare_buffers_.back());
    spare_buffers_.pop_back();
    return buffer;
  }
  return std::make_unique_for_overwrite<uint8_t[]>(page_size_);
}

uint8_t* PageOverlay::Resident(Entry& entry) {
  entry.used = ++clock_;
  if (entry.bytes) return entry.bytes.get();
  std::unique_ptr<uint8_t[]> buffer = NewBuffer();
  const uint64_t offset = uint64_t{entry.slot} * page_size_;
  ReadAt(scratch_, offset, std::span<uint8_t>(buffer.get(), page_size_), scratch_path_);
  entry.bytes = std::move(buffer);
  entry.dirty = false;
  ++resident_count_;
  return entry.bytes.get();
}

void PageOverlay::Drop(Entry& entry) {
  const bool was_changed = entry.bytes || entry.slot != kNoSlot;
  if (entry.bytes) {
    const size_t spares = budget_ ? *budget_ / 2 / page_size_ : kSpareBuffersWithoutBudget;
    if (spare_buffers_.size() < spares) spare_buffers_.push_back(std::move(entry.bytes));
    entry.bytes.reset();
    --resident_count_;
  }
  if (entry.slot != kNoSlot) {
    entry.slot = kNoSlot;
    --spilled_count_;
  }
  entry.dirty = false;
  if (was_changed) --changed_count_;
}

std::span<const uint8_t> PageOverlay::Page(uint32_t number) {
  if (number >= page_count_) ThrowCorrupt("page " + std::to_string(number) + " lies past the end of the file");
  if (Entry* entry = Find(number)) return {Resident(*entry), page_size_};
  return base_.Page(number);
}

void PageOverlay::AppendPages(uint32_t first, uint32_t count, std::vector<uint8_t>& out) {
  if (first >= page_count_ || count > page_count_ - first)
    ThrowCorrupt("page " + std::to_string(uint64_t{first} + count - 1) + " lies past the end of the file");
  uint32_t number = first;
  const uint32_t end = first + count;
  while (number < end) {
    if (Entry* entry = Find(number)) {
      const uint8_t* bytes = Resident(*entry);
      out.insert(out.end(), bytes, bytes + page_size_);
      ++number;
      continue;
    }
    uint32_t run_end = number + 1;
    while (run_end < end && !Find(run_end)) ++run_end;
    base_.AppendPages(number, run_end - number, out);
    number = run_end;
  }
}

std::span<uint8_t> PageOverlay::MutablePage(uint32_t number) {
  if (number >= page_count_) ThrowCorrupt("page " + std::to_string(number) + " lies past the end of the file");
  if (number >= pages_.size()) pages_.resize(size_t{number} + 1);
  Entry& entry = pages_[number];
  const bool existed = entry.bytes || entry.slot != kNoSlot;
  if (saved_ && number < saved_->page_count && saved_->before.count(number) == 0) {
    std::optional<std::vector<uint8_t>> before;
    if (existed) {
      const uint8_t* bytes = Resident(entry);
      before.emplace(bytes, bytes + page_size_);
    }
    saved_->before.emplace(number, std::move(before));
  }
  if (!existed) {
    const auto base_page = base_.Page(number);
    if (base_page.size() != page_size_) ThrowCorrupt("page " + std::to_string(number) + " is short");
    std::unique_ptr<uint8_t[]> buffer = NewBuffer();
    std::memcpy(buffer.get(), base_page.data(), page_size_);
    entry.bytes = std::move(buffer);
    ++resident_count_;
    ++changed_count_;
  }
  uint8_t* bytes = Resident(entry);
  entry.dirty = true;
  return {bytes, page_size_};
}

uint32_t PageOverlay::AppendPage() {
  // Jet addresses pages with 32-bit numbers, and files stay far below 2 GB; refuse rather
  // than wrap around.
  if (page_count_ >= std::numeric_limits<uint32_t>::max() / page_size_)
    throw Error(err::kDiskIo, "The database has grown past the largest size a Jet file can have.");
  const uint32_t number = page_count_;
  if (number >= pages_.size()) pages_.resize(size_t{number} + 1);
  Entry& entry = pages_[number];
  Drop(entry);
  std::unique_ptr<uint8_t[]> buffer = NewBuffer();
  std::memset(buffer.get(), 0, page_size_);
  entry.bytes = std::move(buffer);
  entry.dirty = true;
  entry.used = ++clock_;
  ++resident_count_;
  ++changed_count_;
  ++page_count_;
  return number;
}

void PageOverlay::EnableSpill(std::filesystem::path scratch, size_t budget_bytes) {
  if (scratch_.is_open() && scratch != scratch_path_) throw std::logic_error("the scratch file changed while in use");
  scratch_path_ = std::move(scratch);
  budget_ = budget_bytes;
}

void PageOverlay::WriteSlots(std::vector<std::pair<uint32_t, const uint8_t*>>& writes) {
  if (writes.empty()) return;
  if (!scratch_.is_open()) scratch_ = CreateNew(scratch_path_);
  std::sort(writes.begin(), writes.end());
  std::vector<uint8_t> run;
  run.reserve(std::min(writes.size(), kPagesPerScratchWrite) * page_size_);
  uint32_t first = 0;
  auto put = [&] {
    if (!run.empty()) WriteAt(scratch_, uint64_t{first} * page_size_, run, scratch_path_);
    run.clear();
  };
  for (size_t i = 0; i < writes.size(); ++i) {
    const auto [slot, bytes] = writes[i];
    const size_t held = run.size() / page_size_;
    if (held != 0 && (slot != first + held || held == kPagesPerScratchWrite)) put();
    if (run.empty()) first = slot;
    run.insert(run.end(), bytes, bytes + page_size_);
  }
  put();
}

void PageOverlay::SpillIfOverBudget() {
  if (!budget_ || resident_bytes() <= *budget_) return;
  const size_t keep = *budget_ / 2 / page_size_;
  // Pages whose scratch copy is current go first: forgetting them costs no write.
  std::vector<std::pair<uint64_t, uint32_t>> clean, dirty;
  for (uint32_t number = 0; number < pages_.size(); ++number) {
    const Entry& entry = pages_[number];
    if (!entry.bytes) continue;
    (entry.dirty ? dirty : clean).emplace_back(entry.used, number);
  }
  std::sort(clean.begin(), clean.end());
  std::sort(dirty.begin(), dirty.end());
  size_t excess = resident_count_ - keep;
  std::vector<uint32_t> victims;
  for (const auto* group : {&clean, &dirty})
    for (auto it = group->begin(); it != group->end() && victims.size() < excess; ++it) victims.push_back(it->second);
  excess = victims.size();

  std::vector<std::pair<uint32_t, const uint8_t*>> writes;
  for (uint32_t number : victims) {
    Entry& entry = pages_[number];
    if (!entry.dirty) continue;
    if (entry.slot == kNoSlot) {
      entry.slot = number;
      ++spilled_count_;
    }
    writes.emplace_back(entry.slot, entry.bytes.get());
  }
  // Until every write is done the memory copies stay the ones that count: a failure leaves
  // each page readable as it was.
  WriteSlots(writes);
  for (const auto& write : writes) {
    scratch_pages_ = std::max(scratch_pages_, write.first + 1);
    if (written_in_scratch_.size() <= write.first) written_in_scratch_.resize(write.first + 1, false);
    written_in_scratch_[write.first] = true;
  }
  for (uint32_t number : victims) {
    Entry& entry = pages_[number];
    entry.dirty = false;
    const size_t spares = *budget_ / 2 / page_size_;
    if (spare_buffers_.size() < spares) spare_buffers_.push_back(std::move(entry.bytes));
    entry.bytes.reset();
    --resident_count_;
  }
}

void PageOverlay::RemoveScratchIfUnused() {
  if (spilled_count_ != 0 || !scratch_.is_open()) return;
  scratch_.Reset();
  RemoveQuietly(scratch_path_);
  scratch_pages_ = 0;
  written_in_scratch_.clear();
}

bool PageOverlay::CanCompleteScratch() const {
  return scratch_.is_open() && spilled_count_ != 0 && scratch_pages_ <= page_count_;
}

void PageOverlay::CompleteScratch(const std::vector<bool>& discarded) {
  CompleteScratchFrom(nullptr, {}, discarded);
}

void PageOverlay::CompleteScratch(const FileHandle& base_file, const std::filesystem::path& base_path,
                                  const std::vector<bool>& discarded) {
  CompleteScratchFrom(&base_file, base_path, discarded);
}

void PageOverlay::CompleteScratchFrom(const FileHandle* base_file, const std::filesystem::path& base_path,
                                      const std::vector<bool>& discarded) {
  if (!CanCompleteScratch()) throw std::logic_error("the scratch file cannot become the database");
  std::vector<uint8_t> run;
  run.reserve(kPagesPerScratchWrite * page_size_);
  uint32_t first = 0;
  auto put = [&] {
    if (!run.empty()) WriteAt(scratch_, uint64_t{first} * page_size_, run, scratch_path_);
    run.clear();
  };
  // Past the last page nothing would give the file its length.
  const auto is_discarded = [&](uint32_t page) {
    return page + 1 < page_count_ && page < discarded.size() && discarded[page] && !Find(page);
  };
  for (uint32_t number = 0; number < page_count_;) {
    const Entry* entry = Find(number);
    // A spilled page whose memory copy is not newer is in the file already.
    if (entry && entry->slot != kNoSlot && !(entry->bytes && entry->dirty)) {
      put();
      ++number;
      continue;
    }
    if (entry) {
      if (run.empty()) first = number;
      run.insert(run.end(), entry->bytes.get(), entry->bytes.get() + page_size_);
      ++number;
    } else if (is_discarded(number)) {
      // Zeros whether or not the file system keeps a hole there: bytes an earlier spill left
      // are overwritten, so the file is the same however the change went.
      if (number < written_in_scratch_.size() && written_in_scratch_[number]) {
        if (run.empty()) first = number;
        run.resize(run.size() + page_size_, 0);
      } else {
        put();
      }
      ++number;
    } else if (base_file != nullptr) {
      // Unchanged pages go file to file, however many lie together.
      uint32_t run_end = number + 1;
      while (run_end < page_count_ && !Find(run_end) && !is_discarded(run_end)) ++run_end;
      if (run_end > base_.page_count())
        ThrowCorrupt("page " + std::to_string(run_end - 1) + " lies past the end of the file");
      put();
      CopyRange(*base_file, uint64_t{number} * page_size_, scratch_, uint64_t{number} * page_size_,
                uint64_t{run_end - number} * page_size_, base_path, scratch_path_);
      number = run_end;
    } else {
      if (run.empty()) first = number;
      uint32_t run_end = number + 1;
      const uint32_t limit = first + static_cast<uint32_t>(kPagesPerScratchWrite);
      while (run_end < page_count_ && run_end < limit && !Find(run_end) && !is_discarded(run_end)) ++run_end;
      const size_t before = run.size();
      base_.AppendPages(number, run_end - number, run);
      if (run.size() != before + size_t{run_end - number} * page_size_)
        ThrowCorrupt("page " + std::to_string(number) + " and those after it have the wrong size");
      number = run_end;
    }
    if (run.size() >= kPagesPerScratchWrite * page_size_) put();
  }
  put();
}

FileHandle PageOverlay::ReleaseScratch(std::filesystem::path next_scratch) {
  FileHandle file = std::move(scratch_);
  scratch_.Reset();
  scratch_pages_ = 0;
  written_in_scratch_.clear();
  scratch_path_ = std::move(next_scratch);
  return file;
}

void PageOverlay::Flush(const std::function<void(uint32_t, std::span<const uint8_t>)>& write) {
  if (saved_) throw std::logic_error("pages flushed inside a savepoint");
  for (uint32_t number = 0; number < pages_.size(); ++number) {
    Entry& entry = pages_[number];
    if (!entry.bytes && entry.slot == kNoSlot) continue;
    write(number, std::span<const uint8_t>(Resident(entry), page_size_));
    // The base holds the page now; forgetting it at once keeps a spilled overlay from coming
    // back into memory whole.
    Drop(entry);
  }
  pages_.clear();
  RemoveScratchIfUnused();
}

void PageOverlay::FlushRuns(const std::function<void(uint32_t, std::span<const std::span<const uint8_t>>)>& write,
                            size_t most) {
  if (saved_) throw std::logic_error("pages flushed inside a savepoint");
  most = std::max<size_t>(most, 1);
  std::vector<std::span<const uint8_t>> run;
  run.reserve(std::min(most, pages_.size()));
  uint32_t first = 0;
  auto put = [&] {
    if (run.empty()) return;
    write(first, run);
    for (size_t i = 0; i < run.size(); ++i) Drop(pages_[first + i]);
    run.clear();
  };
  for (uint32_t number = 0; number < pages_.size(); ++number) {
    Entry& entry = pages_[number];
    if (!entry.bytes && entry.slot == kNoSlot) {
      put();
      continue;
    }
    if (run.size() == most) put();
    if (run.empty()) first = number;
    run.emplace_back(Resident(entry), page_size_);
  }
  put();
  pages_.clear();
  RemoveScratchIfUnused();
}

void PageOverlay::ForgetChanges() {
  for (Entry& entry : pages_) Drop(entry);
  pages_.clear();
  saved_.reset();
  page_count_ = base_.page_count();
  RemoveScratchIfUnused();
}

void PageOverlay::BeginSavepoint() { saved_ = Saved{{}, page_count_}; }

void PageOverlay::ReleaseSavepoint() { saved_.reset(); }

void PageOverlay::RollbackToSavepoint() {
  if (!saved_) return;
  for (auto& [number, bytes] : saved_->before) {
    Entry& entry = pages_.at(number);
    if (!bytes) {
      Drop(entry);
      continue;
    }
    if (!entry.bytes && entry.slot == kNoSlot) ++changed_count_;
    if (!entry.bytes) {
      entry.bytes = NewBuffer();
      ++resident_count_;
    }
    std::memcpy(entry.bytes.get(), bytes->data(), page_size_);
    // The scratch copy, if any, may be of a change being undone.
    entry.dirty = true;
    entry.used = ++clock_;
  }
  for (size_t number = saved_->page_count; number < pages_.size(); ++number) Drop(pages_[number]);
  if (pages_.size() > saved_->page_count) pages_.resize(saved_->page_count);
  page_count_ = saved_->page_count;
  saved_.reset();
  RemoveScratchIfUnused();
}

}  // namespace jet::store
