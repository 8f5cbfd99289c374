#include "coding/bit_stream.h"

namespace qev {

void BitReader::Reset(const ByteBuffer& source) {
  position_ = source.data();
  end_ = source.data() + source.size();
  mask_ = 0x80;
}

bool BitReader::ReadBit() {
  // Past the end nothing moves, so every later read also yields 0.
  if (position_ == end_) return false;
  const bool bit = (*position_ & mask_) != 0;
  mask_ >>= 1;
  if (mask_ == 0) {
    mask_ = 0x80;
    ++position_;
  }
  return bit;
}

std::uint32_t BitReader::ReadBits(int n) {
  std::uint32_t value = 0;
  for (int i = n - 1; i >= 0; --i) {
    if (ReadBit()) value |= std::uint32_t{1} << i;
  }
  return value;
}

void BitWriter::Reset(ByteBuffer& target) {
  target_ = &target;
  target.clear();
  mask_ = 0x80;
}

void BitWriter::WriteBit(bool bit) {
  if (mask_ == 0x80) target_->push_back(0);
  if (bit) target_->back() |= mask_;
  mask_ >>= 1;
  if (mask_ == 0) mask_ = 0x80;
}

void BitWriter::WriteBits(int n, std::uint32_t value) {
  for (int i = n - 1; i >= 0; --i) WriteBit(((value >> i) & 1) != 0);
}

std::uint32_t ReadPackedInt(BitReader& reader) {
  const std::uint32_t lengthClass = reader.ReadBits(2);
  return reader.ReadBits(static_cast<int>(8 * lengthClass + 8));
}

void WritePackedInt(BitWriter& writer, std::uint32_t value) {
  std::uint32_t lengthClass = 3;
  if (value <= 0xFF) {
    lengthClass = 0;
  } else if (value <= 0xFFFF) {
    lengthClass = 1;
  } else if (value <= 0xFFFFFF) {
    lengthClass = 2;
  }
  writer.WriteBits(2, lengthClass);
  writer.WriteBits(static_cast<int>(8 * lengthClass + 8), value);
}

}  // namespace qev
