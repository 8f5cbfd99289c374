#include "coding/lzss_reference.h"

#include <array>

#include "coding/bit_stream.h"

namespace qev {

std::uint32_t LzssDecodeReference(const ByteBuffer& input, ByteBuffer& output) {
  BitReader reader;
  reader.Reset(input);
  output.clear();
  std::array<std::uint8_t, 8192> window{};
  std::uint32_t w = 1;
  while (true) {
    if (reader.ReadBit()) {
      const auto b = static_cast<std::uint8_t>(reader.ReadBits(8));
      output.push_back(b);
      window[w] = b;
      w = (w + 1) & 0x1FFF;
      continue;
    }
    const std::uint32_t p = reader.ReadBits(13);
    if (p == 0) return reader.Checksum();
    const std::uint32_t length = reader.ReadBits(4) + 3;
    // Byte by byte: a source range that reaches this reference's own
    // output repeats the bytes just produced.
    for (std::uint32_t i = 0; i < length; ++i) {
      const std::uint8_t b = window[(p + i) & 0x1FFF];
      output.push_back(b);
      window[w] = b;
      w = (w + 1) & 0x1FFF;
    }
  }
}

std::uint32_t LzssStoreReference(const ByteBuffer& input, ByteBuffer& output) {
  BitWriter writer;
  writer.Reset(output);
  for (const std::uint8_t byte : input) {
    writer.WriteBits(1, 1);
    writer.WriteBits(8, byte);
  }
  writer.WriteBits(14, 0);
  return writer.Checksum();
}

}  // namespace qev
