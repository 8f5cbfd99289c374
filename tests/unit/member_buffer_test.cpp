#include "io/member_buffer.h"

#include <gtest/gtest.h>

namespace qev {
namespace {

// A buffer that already holds enough keeps its storage and its bytes, so a
// buffer reused from member to member is not reallocated.
TEST(MemberBuffer, KeepsStorageThatSuffices) {
  ByteBuffer buffer(100, 7);
  buffer.reserve(1000);
  const std::uint8_t* storage = buffer.data();
  ReserveForMember(buffer, 1000);
  EXPECT_EQ(buffer.data(), storage);
  EXPECT_EQ(buffer, ByteBuffer(100, 7));
}

// Growing drops the old bytes instead of copying them; storage large
// enough for large pages is usable from its first byte to its last.
TEST(MemberBuffer, GrowsEmptyAndWhole) {
  ByteBuffer buffer(100, 7);
  const std::size_t size = (16 << 20) + 5;
  ReserveForMember(buffer, size);
  EXPECT_TRUE(buffer.empty());
  EXPECT_GE(buffer.capacity(), size);
  buffer.resize(size, 0xA5);
  EXPECT_EQ(buffer.front(), 0xA5);
  EXPECT_EQ(buffer.back(), 0xA5);
}

}  // namespace
}  // namespace qev
