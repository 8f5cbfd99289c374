#include "coding/bit_stream.h"

#include <gtest/gtest.h>

namespace qev {
namespace {

// The bit streams themselves are tested through the codec, whose oracle
// reads and writes through them. A packed integer takes the narrowest of
// its four classes, here between two marker bits.
TEST(PackedInt, NarrowestClassAtEveryBoundary) {
  ByteBuffer out;
  BitWriter writer;
  BitReader reader;
  for (const std::uint32_t value : {0u, 255u, 256u, 65535u, 65536u, 16777215u, 16777216u, ~0u}) {
    writer.Reset(out);
    writer.WriteBit(true);
    WritePackedInt(writer, value);
    writer.WriteBit(true);
    const std::size_t bits = 10 + 8 * (value > 255) + 8 * (value > 65535) + 8 * (value > 16777215);
    EXPECT_EQ(out.size(), (bits + 2 + 7) / 8) << value;
    reader.Reset(out);
    EXPECT_TRUE(reader.ReadBit() && ReadPackedInt(reader) == value && reader.ReadBit()) << value;
  }
  writer.Reset(out);  // the worked example: 13 and 300
  WritePackedInt(writer, 13);
  WritePackedInt(writer, 300);
  EXPECT_EQ(out, (ByteBuffer{0x03, 0x50, 0x12, 0xC0}));
}

}  // namespace
}  // namespace qev
