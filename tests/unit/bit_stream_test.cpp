#include "coding/bit_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace qev {
namespace {

TEST(BitReader, ReadsMsbFirstAndZerosPastTheEnd) {
  BitReader reader;
  const ByteBuffer empty;
  reader.Reset(empty);
  EXPECT_EQ(reader.ReadBits(32), 0u);
  EXPECT_EQ(ReadPackedInt(reader), 0u);
  EXPECT_EQ(reader.Checksum(), 0u);

  const ByteBuffer a5 = {0xA5};
  reader.Reset(a5);
  EXPECT_TRUE(reader.ReadBit());
  EXPECT_EQ(reader.Checksum(), 165u);  // counted at its first bit
  EXPECT_EQ(reader.ReadBits(7), 0x25u);
  EXPECT_EQ(reader.ReadBits(20), 0u);
  EXPECT_EQ(reader.Checksum(), 165u);

  // Values straddle bytes; one cut by the end has zeros in its low bits.
  const ByteBuffer two = {0xFF, 0xFD};
  reader.Reset(two);
  EXPECT_EQ(reader.ReadBits(13), 0x1FFFu);
  EXPECT_EQ(reader.ReadBits(3), 0b101u);
  reader.Reset(two);
  reader.ReadBits(4);
  EXPECT_EQ(reader.ReadBits(32), 0xFFD00000u);
  EXPECT_EQ(reader.Checksum(), 0xFFu + 0xFD);

  // A second Reset starts afresh.
  reader.Reset(a5);
  EXPECT_EQ(reader.Checksum(), 0u);
  EXPECT_EQ(reader.ReadBits(8), 0xA5u);
}

TEST(BitWriter, CountsThePartialByteOnceAndKeepsCapacity) {
  ByteBuffer target = {1, 2, 3};
  target.reserve(100);
  BitWriter writer;
  writer.Reset(target);
  EXPECT_TRUE(target.empty());
  EXPECT_GE(target.capacity(), 100u);
  EXPECT_EQ(writer.Checksum(), 0u);

  writer.WriteBit(true);
  EXPECT_EQ(target, ByteBuffer{0x80});
  EXPECT_EQ(writer.Checksum(), 128u);
  writer.WriteBits(7, 0);
  EXPECT_EQ(writer.Checksum(), 128u);
  writer.WriteBits(3, 0b101);
  EXPECT_EQ(writer.Checksum(), 128u + 0xA0);

  // Bits above the count are ignored, as for a sign-widened byte.
  writer.WriteBits(5, 0xFFFFFFE0u);
  writer.WriteBits(8, 0xFFFFFF80u);
  writer.WriteBits(32, 0x89ABCDEFu);
  EXPECT_EQ(target, (ByteBuffer{0x80, 0xA0, 0x80, 0x89, 0xAB, 0xCD, 0xEF}));
}

TEST(PackedInt, WorkedExample) {
  ByteBuffer target;
  BitWriter writer;
  writer.Reset(target);
  WritePackedInt(writer, 13);
  WritePackedInt(writer, 300);
  EXPECT_EQ(target, (ByteBuffer{0x03, 0x50, 0x12, 0xC0}));
  EXPECT_EQ(writer.Checksum(), 293u);

  BitReader reader;
  reader.Reset(target);
  EXPECT_EQ(ReadPackedInt(reader), 13u);
  EXPECT_EQ(ReadPackedInt(reader), 300u);
  EXPECT_EQ(reader.Checksum(), 293u);
}

TEST(PackedInt, NarrowestClassOnWriteAnyClassOnRead) {
  const std::pair<std::uint32_t, std::size_t> cases[] = {
      {0, 10},     {255, 10},      {256, 18},      {65535, 18},
      {65536, 26}, {16777215, 26}, {16777216, 34}, {4294967295u, 34},
  };
  for (const auto& [value, bits] : cases) {
    ByteBuffer out;
    BitWriter writer;
    writer.Reset(out);
    writer.WriteBit(true);  // values start mid-byte
    WritePackedInt(writer, value);
    writer.WriteBit(true);  // marks where the value ended
    BitReader reader;
    reader.Reset(out);
    reader.ReadBit();
    EXPECT_EQ(reader.ReadBits(2), (bits - 10) / 8) << value;
    reader.Reset(out);
    reader.ReadBit();
    EXPECT_EQ(ReadPackedInt(reader), value);
    EXPECT_TRUE(reader.ReadBit()) << value;
  }

  ByteBuffer wide;
  BitWriter writer;
  writer.Reset(wide);
  writer.WriteBits(2, 3);
  writer.WriteBits(32, 5);
  BitReader reader;
  reader.Reset(wide);
  EXPECT_EQ(ReadPackedInt(reader), 5u);
}

}  // namespace
}  // namespace qev
