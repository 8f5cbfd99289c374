#include "coding/bit_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace qev {
namespace {

// The checksums of both streams are tested through the codec's worked
// examples, whose oracle is built on them.
TEST(BitStreams, MsbFirstWithZerosPastTheEnd) {
  const ByteBuffer bytes = {0xFF, 0xFD};
  BitReader reader;
  reader.Reset(bytes);
  EXPECT_TRUE(reader.ReadBit());
  EXPECT_EQ(reader.ReadBits(12), 0xFFFu);  // straddles the bytes
  EXPECT_EQ(reader.ReadBits(32), 0xA0000000u);
  EXPECT_EQ(reader.ReadBits(32), 0u);
  reader.Reset(bytes);
  EXPECT_EQ(reader.ReadBits(16), 0xFFFDu);

  ByteBuffer target = {1, 2, 3};
  BitWriter writer;
  writer.Reset(target);
  EXPECT_TRUE(target.empty());
  writer.WriteBit(true);
  writer.WriteBits(3, 0b101);
  // Bits above the count are ignored, as for a sign-widened byte.
  writer.WriteBits(8, 0xFFFFFF80u);
  writer.WriteBits(32, 0x89ABCDEFu);
  EXPECT_EQ(target, (ByteBuffer{0xD8, 0x08, 0x9A, 0xBC, 0xDE, 0xF0}));
}

TEST(PackedInt, WorkedExampleAndNarrowestClasses) {
  ByteBuffer out;
  BitWriter writer;
  writer.Reset(out);
  WritePackedInt(writer, 13);
  WritePackedInt(writer, 300);
  EXPECT_EQ(out, (ByteBuffer{0x03, 0x50, 0x12, 0xC0}));
  BitReader reader;
  reader.Reset(out);
  EXPECT_EQ(ReadPackedInt(reader), 13u);
  EXPECT_EQ(ReadPackedInt(reader), 300u);

  // Each value starts mid-byte, between two marker bits; its width shows in
  // the length of the output.
  const std::pair<std::uint32_t, std::size_t> cases[] = {
      {0, 10},     {255, 10},      {256, 18},      {65535, 18},
      {65536, 26}, {16777215, 26}, {16777216, 34}, {4294967295u, 34},
  };
  for (const auto& [value, bits] : cases) {
    writer.Reset(out);
    writer.WriteBit(true);
    WritePackedInt(writer, value);
    writer.WriteBit(true);
    EXPECT_EQ(out.size(), (bits + 2 + 7) / 8) << value;
    reader.Reset(out);
    EXPECT_TRUE(reader.ReadBit());
    EXPECT_EQ(ReadPackedInt(reader), value);
    EXPECT_TRUE(reader.ReadBit()) << value;
  }
}

}  // namespace
}  // namespace qev
