#include "coding/bit_stream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace qev {
namespace {

// The bit streams themselves are tested through the codec's worked examples,
// whose oracle reads and writes through them.
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
