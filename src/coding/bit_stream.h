// MSB-first bit streams and packed integers.
#pragma once

#include <cstdint>

#include "types.h"

namespace qev {

// Reads bits, most significant first, out of a buffer it does not own.
// Past the end every bit reads as 0 and nothing changes.
class BitReader {
 public:
  void Reset(const ByteBuffer& source);
  bool ReadBit();
  // n from 1 to 32; the first bit read becomes bit n-1 of the result.
  std::uint32_t ReadBits(int n);

 private:
  const std::uint8_t* position_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  std::uint8_t mask_ = 0x80;
};

// Appends bits, most significant first, to a buffer it does not own. The
// unwritten low bits of a partial last byte are zero.
class BitWriter {
 public:
  // Attaches to target and empties it; reserved capacity remains.
  void Reset(ByteBuffer& target);
  void WriteBit(bool bit);
  // n from 1 to 32: writes bits n-1 down to 0 of value.
  void WriteBits(int n, std::uint32_t value);

 private:
  ByteBuffer* target_ = nullptr;
  std::uint8_t mask_ = 0x80;
};

// A packed integer: a 2-bit class c, then the value in 8c + 8 bits.
std::uint32_t ReadPackedInt(BitReader& reader);
// Picks the narrowest class that holds value.
void WritePackedInt(BitWriter& writer, std::uint32_t value);

}  // namespace qev
