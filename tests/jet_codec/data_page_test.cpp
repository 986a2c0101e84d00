#include <gtest/gtest.h>

#include "jet/common/error.h"
#include "jet/core/data_page.h"
#include "jet/core/long_value.h"
#include "tests/jet_codec/row_images.h"

namespace jet {
namespace {

using vantrel::test::Bytes;
using vantrel::test::DataPage;
using vantrel::test::MemoryPages;

int32_t ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.number();
  }
  return 0;
}

TEST(DataPage, SlotsAndTheirFlagsInBothFormats) {
  for (Format format : {Format::kJet3, Format::kJet4}) {
    SCOPED_TRACE(format == Format::kJet3 ? "Jet 3" : "Jet 4");
    const std::vector<uint8_t> page =
        DataPage(format, 7, {Bytes({1, 2, 3}), {}, Bytes({0x05, 0x09, 0, 0, 0xEE}), Bytes({4, 5}), Bytes({6})},
                 {0, row_offset_flag::kDeleted, row_offset_flag::kForwarded, row_offset_flag::kForwardTarget, 0});
    ASSERT_EQ(RowSlotCount(page, format, 7), 5);
    EXPECT_EQ(RowSlotCount(page, format), 5);

    RowSlot first = ReadRowSlot(page, format, 0);
    EXPECT_EQ(first.state, RowSlot::State::kLive);
    EXPECT_EQ(std::vector<uint8_t>(first.bytes.begin(), first.bytes.end()), Bytes({1, 2, 3}));  // ends at the page end
    EXPECT_EQ(ReadRowSlot(page, format, 1).state, RowSlot::State::kDeleted);

    RowSlot stub = ReadRowSlot(page, format, 2);
    EXPECT_EQ(stub.state, RowSlot::State::kForwarded);
    EXPECT_EQ(stub.bytes.size(), 4u);  // the pointer only, not the stale rest
    EXPECT_EQ(stub.forward_page(), 9u);
    EXPECT_EQ(stub.forward_row(), 5);

    EXPECT_EQ(ReadRowSlot(page, format, 3).state, RowSlot::State::kForwardTarget);
    EXPECT_EQ(ReadRowSlot(page, format, 4).bytes.size(), 1u);
  }
}

TEST(DataPage, DamageIsReportedNotFollowed) {
  const Format format = Format::kJet4;
  std::vector<uint8_t> page = DataPage(format, 7, {Bytes({1, 2, 3}), Bytes({4, 5})});
  EXPECT_EQ(ErrorNumberOf([&] { RowSlotCount(page, format, 8); }), err::kCorrupt);  // another table's page
  EXPECT_EQ(ErrorNumberOf([&] { ReadRowSlot(page, format, 2); }), err::kCorrupt);  // no such row
  EXPECT_EQ(ErrorNumberOf([&] { RowSlotCount(std::span(page).first(2048), format); }), err::kCorrupt);

  std::vector<uint8_t> wrong_type = page;
  wrong_type[0] = 0x02;
  EXPECT_EQ(ErrorNumberOf([&] { RowSlotCount(wrong_type, format); }), err::kCorrupt);

  std::vector<uint8_t> too_many = page;
  PutU16(too_many.data() + 12, 3000);  // offset table would run past the page
  EXPECT_EQ(ErrorNumberOf([&] { RowSlotCount(too_many, format); }), err::kCorrupt);

  std::vector<uint8_t> crossing = page;
  PutU16(crossing.data() + 16, 4095);  // row 1 starting above row 0's start
  EXPECT_EQ(ErrorNumberOf([&] { ReadRowSlot(crossing, format, 1); }), err::kCorrupt);

  std::vector<uint8_t> into_header = page;
  PutU16(into_header.data() + 14, 10);  // row 0 overlapping the header
  EXPECT_EQ(ErrorNumberOf([&] { ReadRowSlot(into_header, format, 0); }), err::kCorrupt);

  std::vector<uint8_t> short_stub = DataPage(format, 7, {Bytes({1, 2})}, {row_offset_flag::kForwarded});
  EXPECT_EQ(ErrorNumberOf([&] { ReadRowSlot(short_stub, format, 0); }), err::kCorrupt);

  // A deleted row with a nonsensical extent is still just a deleted row.
  std::vector<uint8_t> odd_deleted = page;
  PutU16(odd_deleted.data() + 16, 0xC000 | 4095);
  EXPECT_EQ(ReadRowSlot(odd_deleted, format, 1).state, RowSlot::State::kDeleted);
}

TEST(DataPage, ForwardedRowsAreFollowedWithinTheTable) {
  const Format format = Format::kJet3;
  MemoryPages pages(format);
  auto stub_to = [](uint32_t page, uint8_t row) {
    std::vector<uint8_t> stub(6, 0xEE);  // the stub keeps stale bytes after its pointer
    PutU32(stub.data(), RowPointer(page, row));
    return stub;
  };
  const uint16_t kStub = row_offset_flag::kForwarded, kTarget = row_offset_flag::kForwardTarget;
  pages.Add(DataPage(format, 7,
                     {stub_to(2, 1), stub_to(1, 1), stub_to(3, 0), stub_to(1, 4), stub_to(1, 3), stub_to(1, 6), Bytes({1})},
                     {kStub, kStub, kStub, kStub, kStub, kStub, row_offset_flag::kDeleted}));  // page 1
  pages.Add(DataPage(format, 7, {Bytes({0}), stub_to(2, 2), Bytes({'n', 'e', 'w'})}, {0, kStub, kTarget}));  // page 2
  pages.Add(DataPage(format, 8, {Bytes({'x'})}));  // page 3: another table's
  auto stub = [&](uint8_t row) { return ReadRowSlot(pages.Page(1), format, row); };

  EXPECT_EQ(ReadForwardedRow(pages, format, stub(0), 7), Bytes({'n', 'e', 'w'}));  // through two stubs
  EXPECT_EQ(ErrorNumberOf([&] { ReadForwardedRow(pages, format, stub(1), 7); }), err::kCorrupt);  // to itself
  EXPECT_EQ(ErrorNumberOf([&] { ReadForwardedRow(pages, format, stub(2), 7); }), err::kCorrupt);  // other table
  EXPECT_EQ(ErrorNumberOf([&] { ReadForwardedRow(pages, format, stub(3), 7); }), err::kCorrupt);  // 3 -> 4 -> 3
  EXPECT_EQ(ErrorNumberOf([&] { ReadForwardedRow(pages, format, stub(5), 7); }), err::kCorrupt);  // deleted
}

std::vector<uint8_t> Header(uint32_t length_and_kind, uint32_t pointer) {
  std::vector<uint8_t> header(12, 0);
  PutU32(header.data(), length_and_kind);
  PutU32(header.data() + 4, pointer);
  return header;
}

std::vector<uint8_t> ChainRow(uint32_t next, std::initializer_list<int> data) {
  std::vector<uint8_t> row(4);
  PutU32(row.data(), next);
  for (int b : data) row.push_back(static_cast<uint8_t>(b));
  return row;
}

TEST(LongValue, ReadsAllThreeLayouts) {
  for (Format format : {Format::kJet3, Format::kJet4}) {
    MemoryPages pages(format);
    std::vector<uint8_t> inline_value = Header(0x80000003, 0);
    inline_value.insert(inline_value.end(), {'a', 'b', 'c'});
    EXPECT_EQ(ReadLongValue(inline_value, format, nullptr), Bytes({'a', 'b', 'c'}));
    EXPECT_TRUE(ReadLongValue(Header(0x80000000, 0), format, nullptr).empty());

    // Row 1 of page 1 is a single-row value; rows of pages 2 and 3 form a chain 3:0 -> 2:1.
    pages.Add(DataPage(format, kLongValuePageOwner, {Bytes({9}), Bytes({'x', 'y', 'z', 'w'})}));
    pages.Add(DataPage(format, kLongValuePageOwner, {Bytes({0}), ChainRow(0, {4, 5})}));
    pages.Add(DataPage(format, kLongValuePageOwner, {ChainRow(RowPointer(2, 1), {1, 2, 3})}));
    EXPECT_EQ(ReadLongValue(Header(0x40000003, RowPointer(1, 1)), format, &pages), Bytes({'x', 'y', 'z'}));
    EXPECT_EQ(ReadLongValue(Header(5, RowPointer(3, 0)), format, &pages), Bytes({1, 2, 3, 4, 5}));
  }
}

TEST(LongValue, DamagedPointersAndLengthsAreCorrupt) {
  const Format format = Format::kJet4;
  MemoryPages pages(format);
  pages.Add(DataPage(format, kLongValuePageOwner, {ChainRow(RowPointer(2, 0), {1, 2})}));  // page 1 -> page 2
  pages.Add(DataPage(format, kLongValuePageOwner, {ChainRow(RowPointer(1, 0), {3, 4})}));  // page 2 -> page 1
  pages.Add(DataPage(format, 5, {Bytes({1, 2, 3})}));                                      // a table's page
  pages.Add(DataPage(format, kLongValuePageOwner, {Bytes({1, 2})}, {row_offset_flag::kDeleted}));
  auto corrupt = [&](std::vector<uint8_t> header) {
    return ErrorNumberOf([&] { ReadLongValue(header, format, &pages); }) == err::kCorrupt;
  };
  EXPECT_TRUE(corrupt(Header(1000, RowPointer(1, 0))));            // a cycle, with room for it to go on
  EXPECT_TRUE(corrupt(Header(3, RowPointer(1, 0))));               // chain longer than the length
  EXPECT_TRUE(corrupt(Header(0x40000003, RowPointer(3, 0))));      // not a long-value page
  EXPECT_TRUE(corrupt(Header(0x40000003, RowPointer(99, 0))));     // past the file
  EXPECT_TRUE(corrupt(Header(0x40000003, RowPointer(0, 0))));      // page 0
  EXPECT_TRUE(corrupt(Header(0x40000003, RowPointer(1, 7))));      // no such row
  EXPECT_TRUE(corrupt(Header(0x40000002, RowPointer(4, 0))));      // deleted row
  EXPECT_TRUE(corrupt(Header(0x40000009, RowPointer(1, 0))));      // row shorter than the value
  EXPECT_TRUE(corrupt(Header(0x3FFFFFFF, RowPointer(1, 0))));      // a gigabyte in a 20 KB file
  EXPECT_TRUE(corrupt(Header(0xC0000001, 0)));                     // no such layout
  EXPECT_TRUE(corrupt(Header(0x80000005, 0)));                     // inline data missing
  EXPECT_TRUE(corrupt(Bytes({1, 0, 0, 0x80})));                    // header cut short
  EXPECT_TRUE(ErrorNumberOf([&] { ReadLongValue(Header(0x40000003, RowPointer(1, 0)), format, nullptr); }) ==
              err::kCorrupt);
}

// A writer places each chain chunk on a page of its own: full chunks must fill a page
// exactly and the last must be sized to the value, or readers drop it.
TEST(LongValue, ChainChunksFillWholePages) {
  for (Format format : {Format::kJet3, Format::kJet4}) {
    LongValueImage chain = BuildLongValue(std::vector<uint8_t>(2 * LongValueChunkCapacity(format) + 10, 7), format, 0);
    ASSERT_EQ(chain.layout, LongValueLayout::kChain);
    ASSERT_EQ(chain.rows.size(), 3u);
    EXPECT_EQ(chain.rows[0].size(), PageSizeOf(format) - DataPageHeaderSize(format) - 2);
    EXPECT_EQ(chain.rows[2].size(), 4u + 10u);
  }
}

}  // namespace
}  // namespace jet
