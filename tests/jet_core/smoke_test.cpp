#include <gtest/gtest.h>

#include "jet/common/byte_reader.h"

namespace jet {
namespace {

TEST(ByteReader, ReadsLittleEndianAndRefusesToLeaveItsBytes) {
  const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
  ByteReader reader(bytes, "sample");
  EXPECT_EQ(reader.U16(0), 0x0201);
  EXPECT_EQ(reader.U32(1), 0x05040302u);
  EXPECT_THROW(reader.U32(2), Error);
  EXPECT_THROW(reader.Slice(5, 1), Error);
  EXPECT_THROW(reader.Slice(static_cast<size_t>(-1), 2), Error);
  EXPECT_EQ(reader.Slice(5, 0).size(), 0u);
}

}  // namespace
}  // namespace jet
