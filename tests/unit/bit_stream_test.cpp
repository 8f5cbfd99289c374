#include "coding/bit_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace qev {
namespace {

// Counts the bits that WritePackedInt emits for value: a 1 bit written after
// it is the last 1 bit of the stream.
std::size_t PackedBits(std::uint32_t value) {
  ByteBuffer out;
  BitWriter writer;
  writer.Reset(out);
  WritePackedInt(writer, value);
  writer.WriteBit(true);
  std::size_t trailingZeros = 0;
  while (((out.back() >> trailingZeros) & 1) == 0) ++trailingZeros;
  return out.size() * 8 - trailingZeros - 1;
}

TEST(BitReader, EmptySourceReadsZerosAndSumsNothing) {
  const ByteBuffer empty;
  BitReader reader;
  reader.Reset(empty);
  EXPECT_FALSE(reader.ReadBit());
  EXPECT_EQ(reader.ReadBits(32), 0u);
  EXPECT_EQ(ReadPackedInt(reader), 0u);
  EXPECT_EQ(reader.Checksum(), 0u);
}

TEST(BitReader, ReadsMsbFirstAndCountsAByteAtItsFirstBit) {
  const ByteBuffer source = {0xA5};
  BitReader reader;
  reader.Reset(source);
  const bool expected[] = {true, false, true, false, false, true, false, true};
  EXPECT_TRUE(reader.ReadBit());
  EXPECT_EQ(reader.Checksum(), 165u);
  for (int i = 1; i < 8; ++i) EXPECT_EQ(reader.ReadBit(), expected[i]) << i;
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(reader.ReadBit());
  EXPECT_EQ(reader.Checksum(), 165u);
}

TEST(BitReader, ValuesStraddleBytesAndCutValuesFillWithZeros) {
  const ByteBuffer source = {0xFF, 0xF8};
  BitReader reader;
  reader.Reset(source);
  EXPECT_EQ(reader.ReadBits(13), 0x1FFFu);
  EXPECT_EQ(reader.Checksum(), 503u);

  // The next bits are the last three of the second byte.
  const ByteBuffer marked = {0xFF, 0xFD};
  reader.Reset(marked);
  reader.ReadBits(13);
  EXPECT_EQ(reader.ReadBits(3), 0b101u);
  EXPECT_EQ(reader.ReadBits(5), 0u);
  EXPECT_EQ(reader.Checksum(), 0xFFu + 0xFD);

  reader.Reset(source);
  reader.ReadBits(4);
  // 12 bits remain: 1111 1111 1000, then zeros below.
  EXPECT_EQ(reader.ReadBits(32), 0xFF800000u);
}

TEST(BitReader, ResetStartsAfresh) {
  const ByteBuffer first = {0xFF};
  const ByteBuffer second = {0x01};
  BitReader reader;
  reader.Reset(first);
  reader.ReadBits(3);
  reader.Reset(second);
  EXPECT_EQ(reader.Checksum(), 0u);
  EXPECT_EQ(reader.ReadBits(8), 1u);
  EXPECT_EQ(reader.Checksum(), 1u);
}

TEST(BitWriter, ResetEmptiesTheTargetAndKeepsCapacity) {
  ByteBuffer target = {1, 2, 3};
  target.reserve(100);
  BitWriter writer;
  writer.Reset(target);
  EXPECT_TRUE(target.empty());
  EXPECT_GE(target.capacity(), 100u);
  EXPECT_EQ(writer.Checksum(), 0u);
}

TEST(BitWriter, PartialByteCountsInChecksumExactlyOnce) {
  ByteBuffer target;
  BitWriter writer;
  writer.Reset(target);
  writer.WriteBit(true);
  EXPECT_EQ(target, ByteBuffer{0x80});
  EXPECT_EQ(writer.Checksum(), 128u);
  writer.WriteBits(7, 0);
  EXPECT_EQ(target, ByteBuffer{0x80});
  EXPECT_EQ(writer.Checksum(), 128u);
  writer.WriteBits(3, 0b101);
  EXPECT_EQ(target, (ByteBuffer{0x80, 0xA0}));
  EXPECT_EQ(writer.Checksum(), 128u + 0xA0);
}

TEST(BitWriter, IgnoresValueBitsAboveTheCount) {
  ByteBuffer target;
  BitWriter writer;
  writer.Reset(target);
  writer.WriteBits(8, 0xFFFFFF80u);
  writer.WriteBits(32, 0x89ABCDEFu);
  EXPECT_EQ(target, (ByteBuffer{0x80, 0x89, 0xAB, 0xCD, 0xEF}));
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

TEST(PackedInt, WriterPicksTheNarrowestClassAndValuesRoundTrip) {
  const std::pair<std::uint32_t, std::size_t> cases[] = {
      {0, 10},     {255, 10},      {256, 18},      {65535, 18},
      {65536, 26}, {16777215, 26}, {16777216, 34}, {4294967295u, 34},
  };
  for (const auto& [value, bits] : cases) EXPECT_EQ(PackedBits(value), bits) << value;

  ByteBuffer target;
  BitWriter writer;
  writer.Reset(target);
  writer.WriteBit(true);  // start mid-byte so values straddle boundaries
  for (const auto& [value, bits] : cases) WritePackedInt(writer, value);
  BitReader reader;
  reader.Reset(target);
  EXPECT_TRUE(reader.ReadBit());
  for (const auto& [value, bits] : cases) EXPECT_EQ(ReadPackedInt(reader), value);
  EXPECT_EQ(reader.Checksum(), writer.Checksum());
}

TEST(PackedInt, ReaderAcceptsAWiderClassThanNeeded) {
  ByteBuffer target;
  BitWriter writer;
  writer.Reset(target);
  writer.WriteBits(2, 3);
  writer.WriteBits(32, 5);
  BitReader reader;
  reader.Reset(target);
  EXPECT_EQ(ReadPackedInt(reader), 5u);
}

}  // namespace
}  // namespace qev
