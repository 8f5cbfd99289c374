// The LZSS compressor: member streams with back-references, as short as the
// token costs allow (9 bits a literal, 18 bits a reference of 3 to 18
// bytes). Any decoder of the stream reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "types.h"

namespace qev {

// Encodes in pieces, like LzssStoreEncoder. The input is parsed in blocks of
// kBlockSize bytes, each one shortest for the longest matches found at
// every position (the matches reach back into the previous block's last
// 8 KiB); so the stream does not depend on where the pieces fall. It is
// never longer than LzssStore's stream for the same input.
class LzssCompressor {
 public:
  static constexpr std::size_t kBlockSize = 256 * 1024;

  LzssCompressor();
  // Appends to out (which is NOT emptied) the stream bytes that `size` more
  // input bytes complete; holds back up to a block and 18 bytes of input.
  void Put(const std::uint8_t* data, std::size_t size, ByteBuffer& out);
  // Appends everything still held, the end marker and the zero-filled last
  // byte. Returns the sum (mod 2^32) of every stream byte appended.
  std::uint32_t Finish(ByteBuffer& out);

 private:
  void ParseBlock(std::size_t length, bool last, ByteBuffer& out);
  void ShiftBlock(std::size_t length);
  void Emit(std::uint32_t value, unsigned width, ByteBuffer& out);

  // buffer_ holds, from kHistoryStart, the 8 KiB before the current block
  // (zeros at first, the window's initial contents), the block and what
  // follows it.
  std::vector<std::uint8_t> buffer_;
  std::size_t filled_;  // buffer_ bytes in use
  bool started_ = false;
  int bits3_ = 0;  // hash sizes, set by the first block
  int bits4_ = 0;
  // The match finder: per hash of 4 bytes a tree's root, per hash of 3
  // bytes the newest position; per position its two children in the binary
  // tree of the strings (18 bytes) that start in the window, sorted, newest
  // at the root.
  std::vector<std::uint32_t> head_;
  std::vector<std::uint32_t> tree_;
  // The parse of one block: longest match and its distance per position,
  // then the cost of the rest of the block from each position.
  std::vector<std::uint8_t> length_;
  std::vector<std::uint16_t> distance_;
  std::vector<std::uint32_t> cost_;
  // Bits not yet in a whole byte (the low pendingBits_ of bits_).
  std::uint64_t bits_ = 0;
  unsigned pendingBits_ = 0;
  std::uint32_t checksum_ = 0;
};

// The whole-buffer wrapper: output is emptied first. Returns the stream's
// checksum.
std::uint32_t LzssCompress(const ByteBuffer& input, ByteBuffer& output);

}  // namespace qev
