#include "jet/write/index_entry_sorter.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string>

#include "jet/common/byte_reader.h"
#include "jet/common/error.h"

namespace jet {
namespace {

// A run's entry on disk: key length (2 bytes), row page (4), row (1), then the key.
constexpr size_t kRecordHeader = 7;
// Bytes gathered before they go to the spill file in one write.
constexpr size_t kWriteChunk = size_t{1} << 20;
// Each run's read buffer lies between these, whatever the budget and the number of runs.
constexpr size_t kMinReadBuffer = size_t{16} << 10;
constexpr size_t kMaxReadBuffer = size_t{1} << 20;

// Bytes [at, at + 8) of the key as a big-endian number, zero-padded.
uint64_t KeyWord(std::span<const uint8_t> key, size_t at) {
  uint64_t word = 0;
  if (at < key.size()) std::memcpy(&word, key.data() + at, std::min<size_t>(8, key.size() - at));
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
  return word;
}

// -1, 0, 1 as `a` comes before, with or after `b` in an index.
int CompareEntries(std::span<const uint8_t> a_key, uint32_t a_page, uint8_t a_row, std::span<const uint8_t> b_key,
                   uint32_t b_page, uint8_t b_row) {
  const size_t common = std::min(a_key.size(), b_key.size());
  if (common > 0) {
    if (const int c = std::memcmp(a_key.data(), b_key.data(), common); c != 0) return c < 0 ? -1 : 1;
  }
  if (a_key.size() != b_key.size()) return a_key.size() < b_key.size() ? -1 : 1;
  if (a_page != b_page) return a_page < b_page ? -1 : 1;
  if (a_row != b_row) return a_row < b_row ? -1 : 1;
  return 0;
}

}  // namespace

EntrySpillFile::EntrySpillFile(std::filesystem::path path) : path_(std::move(path)) {}

EntrySpillFile::~EntrySpillFile() {
  if (!file_.is_open()) return;
  file_.Reset();
  store::RemoveQuietly(path_);
}

uint64_t EntrySpillFile::Append(std::span<const uint8_t> bytes) {
  if (!file_.is_open()) file_ = store::CreateNew(path_);
  const uint64_t at = size_;
  store::WriteAt(file_, at, bytes, path_);
  size_ += bytes.size();
  return at;
}

void EntrySpillFile::Read(uint64_t offset, std::span<uint8_t> bytes) {
  if (!file_.is_open() || offset > size_ || bytes.size() > size_ - offset)
    ThrowCorrupt("a sorted run of index entries lies outside its file " + path_.string());
  store::ReadAt(file_, offset, bytes, path_);
}

std::span<const uint8_t> IndexEntrySorter::Slot::Key(const std::vector<uint8_t>& bytes,
                                                     uint8_t (&scratch)[kInlineKey]) const {
  if (!inline_key()) return std::span<const uint8_t>(bytes).subspan(static_cast<size_t>(key_offset), key_length);
  // The heads are big-endian numbers: their bytes in memory order are the key's.
  for (size_t word = 0; word < 2; ++word) {
    uint64_t bytes = head[word];
    if constexpr (std::endian::native == std::endian::little) bytes = __builtin_bswap64(bytes);
    std::memcpy(scratch + 8 * word, &bytes, 8);
  }
  return std::span<const uint8_t>(scratch, key_length);
}

void IndexEntrySorter::Add(std::span<const uint8_t> key, uint32_t data_page, uint8_t data_row) {
  if (key.size() > UINT16_MAX) throw Error(err::kNotSupported, "An index key is too long for a page.");
  Slot slot;
  slot.head[0] = KeyWord(key, 0);
  slot.head[1] = KeyWord(key, 8);
  slot.data_page = data_page;
  slot.key_length = static_cast<uint16_t>(key.size());
  slot.data_row = data_row;
  if (!slot.inline_key()) {
    slot.key_offset = key_bytes_.size();
    key_bytes_.insert(key_bytes_.end(), key.begin(), key.end());
  }
  slots_.push_back(slot);
}

void IndexEntrySorter::SortAdded() {
  const size_t begin = sorted_ends_.empty() ? 0 : sorted_ends_.back();
  if (begin == slots_.size()) return;
  SortSlots(begin, slots_.size());
  sorted_ends_.push_back(slots_.size());
}

// Every entry names its own row, so the order is total and an unstable sort gives the one
// order there is, without the buffer a stable sort takes. Zero padding keeps the order of
// the heads; keys equal in them differ in length or in bytes past them, or not at all.
bool IndexEntrySorter::Before(const std::vector<uint8_t>& bytes, const Slot& a, const Slot& b) {
  if (a.head[0] != b.head[0]) return a.head[0] < b.head[0];
  if (a.head[1] != b.head[1]) return a.head[1] < b.head[1];
  if (a.key_length != b.key_length && (a.inline_key() || b.inline_key())) {
    // One key is all in its head: the shorter one is a prefix of the other's first bytes
    // (the padding is zero where the other has bytes, or the heads would differ).
    return a.key_length < b.key_length;
  }
  if (!a.inline_key()) {
    const int order = CompareEntries(std::span<const uint8_t>(bytes).subspan(a.key_offset, a.key_length), a.data_page,
                                     a.data_row, std::span<const uint8_t>(bytes).subspan(b.key_offset, b.key_length),
                                     b.data_page, b.data_row);
    return order < 0;
  }
  if (a.data_page != b.data_page) return a.data_page < b.data_page;
  return a.data_row < b.data_row;
}

void IndexEntrySorter::SortSlots(size_t begin_at, size_t end_at) {
  const auto before = [this](const Slot& a, const Slot& b) { return Before(key_bytes_, a, b); };
  // A key that grows with the rows (a counter, the primary key of a table copied in its
  // order) arrives sorted: a look costs less than a sort.
  const auto begin = slots_.begin() + static_cast<std::ptrdiff_t>(begin_at);
  const auto end = slots_.begin() + static_cast<std::ptrdiff_t>(end_at);
  if (!std::is_sorted(begin, end, before)) std::sort(begin, end, before);
}

void IndexEntrySorter::MergeRanges() {
  SortAdded();
  const auto before = [this](const Slot& a, const Slot& b) { return Before(key_bytes_, a, b); };
  // Neighbours merged pairwise, a level at a time: each level is one pass over the entries.
  while (sorted_ends_.size() > 1) {
    std::vector<size_t> merged;
    size_t begin = 0;
    for (size_t i = 0; i < sorted_ends_.size(); i += 2) {
      if (i + 1 < sorted_ends_.size()) {
        const auto first = slots_.begin() + static_cast<std::ptrdiff_t>(begin);
        const auto middle = slots_.begin() + static_cast<std::ptrdiff_t>(sorted_ends_[i]);
        const auto last = slots_.begin() + static_cast<std::ptrdiff_t>(sorted_ends_[i + 1]);
        // Ranges already in order (keys that grow with the rows) need no merge.
        if (before(*middle, *(middle - 1))) std::inplace_merge(first, middle, last, before);
        merged.push_back(sorted_ends_[i + 1]);
      } else {
        merged.push_back(sorted_ends_[i]);
      }
      begin = merged.back();
    }
    sorted_ends_ = std::move(merged);
  }
}

void IndexEntrySorter::Spill(EntrySpillFile& file) {
  if (slots_.empty()) return;
  MergeRanges();  // one run from the whole
  sorted_ends_.clear();
  std::vector<uint8_t> chunk;
  chunk.reserve(kWriteChunk);
  Run run;
  bool first = true;
  auto write = [&] {
    const uint64_t at = file.Append(chunk);
    if (first) run.offset = at;
    first = false;
    run.bytes += chunk.size();
    chunk.clear();
  };
  uint8_t scratch[kInlineKey];
  for (const Slot& slot : slots_) {
    if (chunk.size() + kRecordHeader + slot.key_length > kWriteChunk) write();
    uint8_t header[kRecordHeader];
    PutU16(header, slot.key_length);
    PutU32(header + 2, slot.data_page);
    header[6] = slot.data_row;
    chunk.insert(chunk.end(), header, header + kRecordHeader);
    const std::span<const uint8_t> key = slot.Key(key_bytes_, scratch);
    chunk.insert(chunk.end(), key.begin(), key.end());
  }
  if (!chunk.empty()) write();
  run.entries = slots_.size();
  runs_.push_back(run);
  spilled_ += slots_.size();
  // Given back, not only emptied: the memory is what spilling is for.
  std::vector<Slot>().swap(slots_);
  std::vector<uint8_t>().swap(key_bytes_);
}

void IndexEntrySorter::Clear() {
  sorted_ends_.clear();
  std::vector<Slot>().swap(slots_);
  std::vector<uint8_t>().swap(key_bytes_);
  runs_.clear();
  spilled_ = 0;
}

// One ordered source of entries for the merge: what memory held, or one run of the file.
struct IndexEntrySorter::Stream::Source {
  virtual ~Source() = default;
  // Moves to the next entry; false when there is none.
  virtual bool Next() = 0;
  std::span<const uint8_t> key;
  uint32_t data_page = 0;
  uint8_t data_row = 0;
  // The key's first 16 bytes as a sort slot holds them: most comparisons of the merge end there.
  uint64_t head[2] = {0, 0};
};

// How far ahead of the merge a key held in memory is asked for.
constexpr size_t kKeysAhead = 16;

IndexEntrySorter::Stream IndexEntrySorter::Sorted(EntrySpillFile* file, size_t read_budget) {
  // What memory held, shared by the sources of its sorted ranges.
  struct Held {
    std::vector<Slot> slots;
    std::vector<uint8_t> bytes;
  };
  struct Memory : Stream::Source {
    std::shared_ptr<const Held> held;
    uint8_t scratch[kInlineKey] = {};
    size_t next = 0, end = 0;
    bool Next() override {
      if (next >= end) return false;
      // The sorted order visits the keys' buffer at random, and the builder's first look at
      // each key would wait for memory: asking for keys some entries ahead hides that wait.
      if (end - next > kKeysAhead) {
        const Slot& ahead = held->slots[next + kKeysAhead];
        if (!ahead.inline_key()) {
          const uint8_t* first = held->bytes.data() + ahead.key_offset;
          __builtin_prefetch(first);
          __builtin_prefetch(first + ahead.key_length - 1);
        }
      }
      const Slot& slot = held->slots[next++];
      key = slot.Key(held->bytes, scratch);
      head[0] = slot.head[0];
      head[1] = slot.head[1];
      data_page = slot.data_page;
      data_row = slot.data_row;
      return true;
    }
  };
  struct FileRun : Stream::Source {
    EntrySpillFile* file = nullptr;
    uint64_t position = 0;  // next byte of the run not yet in the buffer
    uint64_t end = 0;
    uint64_t left = 0;      // entries not yet given
    std::vector<uint8_t> buffer;
    size_t start = 0, filled = 0;  // the unread bytes of the buffer

    // At least `count` unread bytes in the buffer, or a damaged run.
    void Need(size_t count) {
      if (filled - start >= count) return;
      std::memmove(buffer.data(), buffer.data() + start, filled - start);
      filled -= start;
      start = 0;
      if (buffer.size() < count) buffer.resize(count);
      const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size() - filled, end - position));
      if (filled + want < count) ThrowCorrupt("a sorted run of index entries ends inside an entry");
      file->Read(position, std::span<uint8_t>(buffer).subspan(filled, want));
      position += want;
      filled += want;
    }
    bool Next() override {
      if (left == 0) return false;
      --left;
      Need(kRecordHeader);
      const ByteReader header(std::span<const uint8_t>(buffer).subspan(start, kRecordHeader), "sorted run");
      const size_t length = header.U16(0);
      data_page = header.U32(2);
      data_row = header.U8(6);
      Need(kRecordHeader + length);
      key = std::span<const uint8_t>(buffer).subspan(start + kRecordHeader, length);
      head[0] = KeyWord(key, 0);
      head[1] = KeyWord(key, 8);
      start += kRecordHeader + length;
      return true;
    }
  };

  std::vector<std::unique_ptr<Stream::Source>> sources;
  if (!runs_.empty()) {
    if (file == nullptr) throw std::logic_error("index entries were spilled to no file");
    const size_t each = std::clamp(read_budget / runs_.size(), kMinReadBuffer, kMaxReadBuffer);
    for (const Run& run : runs_) {
      auto source = std::make_unique<FileRun>();
      source->file = file;
      source->position = run.offset;
      source->end = run.offset + run.bytes;
      source->left = run.entries;
      source->buffer.resize(static_cast<size_t>(std::min<uint64_t>(each, std::max<uint64_t>(run.bytes, 1))));
      sources.push_back(std::move(source));
    }
  }
  if (!slots_.empty()) {
    SortAdded();
    auto held = std::make_shared<Held>();
    held->slots = std::move(slots_);
    held->bytes = std::move(key_bytes_);
    size_t begin = 0;
    for (size_t end : sorted_ends_) {
      auto memory = std::make_unique<Memory>();
      memory->held = held;
      memory->next = begin;
      memory->end = end;
      sources.push_back(std::move(memory));
      begin = end;
    }
  }
  sorted_ends_.clear();
  slots_ = {};
  key_bytes_ = {};
  runs_.clear();
  spilled_ = 0;
  return Stream(std::move(sources));
}

IndexEntrySorter::Stream::Stream(std::vector<std::unique_ptr<Source>> sources) : sources_(std::move(sources)) {}
IndexEntrySorter::Stream::Stream(Stream&&) noexcept = default;
IndexEntrySorter::Stream& IndexEntrySorter::Stream::operator=(Stream&&) noexcept = default;
IndexEntrySorter::Stream::~Stream() = default;

bool IndexEntrySorter::Stream::Next(IndexEntryView& entry) {
  // The heap's front is the source whose current entry comes first.
  auto later = [this](size_t a, size_t b) {
    const Source& x = *sources_[a];
    const Source& y = *sources_[b];
    // Zero padding keeps the order of the heads; equal heads leave it to the whole keys.
    if (x.head[0] != y.head[0]) return x.head[0] > y.head[0];
    if (x.head[1] != y.head[1]) return x.head[1] > y.head[1];
    return CompareEntries(x.key, x.data_page, x.data_row, y.key, y.data_page, y.data_row) > 0;
  };
  if (!started_) {
    started_ = true;
    for (size_t i = 0; i < sources_.size(); ++i)
      if (sources_[i]->Next()) heap_.push_back(i);
    std::make_heap(heap_.begin(), heap_.end(), later);
  } else if (!heap_.empty()) {
    // The entry given last is still the front: move its source on.
    std::pop_heap(heap_.begin(), heap_.end(), later);
    if (sources_[heap_.back()]->Next()) {
      std::push_heap(heap_.begin(), heap_.end(), later);
    } else {
      heap_.pop_back();
    }
  }
  if (heap_.empty()) return false;
  const Source& front = *sources_[heap_.front()];
  entry.key = front.key;
  entry.data_page = front.data_page;
  entry.data_row = front.data_row;
  return true;
}

}  // namespace jet
