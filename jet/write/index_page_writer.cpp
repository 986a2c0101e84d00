#include "jet/write/index_page_writer.h"

#include <algorithm>

#include "jet/common/error.h"

namespace jet {
namespace {

void PutU16(std::vector<uint8_t>& page, size_t at, uint32_t value) {
  page[at] = static_cast<uint8_t>(value);
  page[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& page, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) page[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Entry pointers are big-endian so that equal keys sort by row place as bytes.
void AppendBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

size_t PointerSize(uint8_t type) { return type == kIndexLeafPageType ? 4 : 8; }

// Where the intermediate-page marker byte sits: just after the prefix length on Jet 3, one
// byte further on Jet 4 (seen in every sample intermediate page).
size_t IntermediateMarkOffset(Format format) { return IndexPageLayoutOf(format).prefix_length + (format == Format::kJet3 ? 1 : 2); }

}  // namespace

size_t CommonPrefix(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  const size_t limit = std::min(a.size(), b.size());
  size_t n = 0;
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

size_t SharedPrefixLength(std::span<const IndexEntry> entries) {
  if (entries.size() < 2) return 0;
  size_t shared = std::min<size_t>(entries.front().key.size(), kMaxIndexPrefix);
  for (size_t i = 1; i < entries.size() && shared > 0; ++i)
    shared = std::min(shared, CommonPrefix(entries.front().key, entries[i].key));
  return shared;
}

size_t EncodedEntriesSize(std::span<const IndexEntry> entries, uint8_t type, size_t prefix) {
  size_t total = 0;
  for (size_t i = 0; i < entries.size(); ++i)
    total += entries[i].key.size() - (i == 0 ? 0 : prefix) + PointerSize(type);
  return total;
}

size_t IndexPageEntryCapacity(Format format) {
  const IndexPageLayout layout = IndexPageLayoutOf(format);
  const size_t mask_reach = size_t{layout.first_entry - layout.entry_mask} * 8;
  return std::min<size_t>(PageSizeOf(format) - layout.first_entry, mask_reach);
}

std::vector<uint8_t> EncodeIndexPage(const IndexPageFrame& frame, std::span<const IndexEntry> entries,
                                     Format format) {
  const IndexPageLayout layout = IndexPageLayoutOf(format);
  const size_t prefix = frame.prefix_length ? *frame.prefix_length : SharedPrefixLength(entries);
  if (prefix > kMaxIndexPrefix || (entries.size() > 1 && prefix > SharedPrefixLength(entries)) ||
      (!entries.empty() && prefix > entries.front().key.size()))
    throw Error(err::kNotSupported, "An index page prefix longer than its entries share cannot be stored.");
  if (EncodedEntriesSize(entries, frame.type, prefix) > IndexPageEntryCapacity(format))
    throw Error(err::kNotSupported, "The index entries do not fit on one page.");

  std::vector<uint8_t> page(PageSizeOf(format), 0);
  page[0] = frame.type;
  page[1] = 0x01;
  PutU32(page, 4, frame.owner);
  PutU32(page, layout.previous_page, frame.previous_page);
  PutU32(page, layout.next_page, frame.next_page);
  PutU32(page, layout.tail_page, frame.tail_page);
  page[layout.prefix_length] = static_cast<uint8_t>(prefix);
  if (frame.type == kIndexIntermediatePageType) page[IntermediateMarkOffset(format)] = 0x01;

  std::vector<uint8_t> entry;
  size_t at = layout.first_entry;
  for (size_t i = 0; i < entries.size(); ++i) {
    const IndexEntry& e = entries[i];
    entry.assign(e.key.begin() + static_cast<ptrdiff_t>(i == 0 ? 0 : prefix), e.key.end());
    AppendBigEndian(entry, e.data_page, 3);
    entry.push_back(e.data_row);
    if (frame.type == kIndexIntermediatePageType) AppendBigEndian(entry, e.child_page, 4);
    std::copy(entry.begin(), entry.end(), page.begin() + static_cast<ptrdiff_t>(at));
    at += entry.size();
    const size_t bit = at - layout.first_entry;
    page[layout.entry_mask + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
  }
  PutU16(page, 2, static_cast<uint32_t>(page.size() - at));
  return page;
}

}  // namespace jet
