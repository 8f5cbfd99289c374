#include "coding/bit_stream.h"

namespace qev {
void BitReader::Reset(const ByteBuffer& source) {
  position_ = source.data();
  end_ = source.data() + source.size();
  mask_ = 0x80;
  checksum_ = 0;
}
bool BitReader::ReadBit() { return false; }
std::uint32_t BitReader::ReadBits(int) { return 0; }
std::uint32_t BitReader::Checksum() const { return checksum_; }
void BitWriter::Reset(ByteBuffer& target) {
  target_ = &target;
  target.clear();
  mask_ = 0x80;
  checksum_ = 0;
}
void BitWriter::WriteBit(bool) {}
void BitWriter::WriteBits(int, std::uint32_t) {}
std::uint32_t BitWriter::Checksum() const { return checksum_; }
std::uint32_t ReadPackedInt(BitReader&) { return 0; }
void WritePackedInt(BitWriter&, std::uint32_t) {}
}  // namespace qev
