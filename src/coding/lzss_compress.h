// The LZSS compressor: member streams with back-references, as short as the
// token costs allow (9 bits a literal, 18 bits a reference of 3 to 18
// bytes). Any decoder of the stream reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "coding/block_parser.h"
#include "types.h"

namespace qev {

// Encodes in pieces, like LzssStoreEncoder. The input is parsed in blocks of
// kBlockSize bytes, each one shortest for the longest matches found at
// every position (the matches reach back into the 8 KiB before the block),
// and each parsed alone; so the stream does not depend on where the pieces
// fall, nor on how many blocks are parsed at once. It is never longer than
// LzssStore's stream for the same input.
class LzssCompressor {
 public:
  static constexpr std::size_t kBlockSize = ParseLayout::kBlockSize;

  // Parses up to `threads` blocks at once, each on its own thread; 0 means
  // as many as the machine has processors, at most kMaxThreads.
  explicit LzssCompressor(unsigned threads = 0);
  ~LzssCompressor();
  LzssCompressor(const LzssCompressor&) = delete;
  LzssCompressor& operator=(const LzssCompressor&) = delete;

  static constexpr unsigned kMaxThreads = 4;

  // Appends to out (which is NOT emptied) the stream bytes that `size` more
  // input bytes complete; holds back up to a block per thread and 18 bytes
  // of input.
  void Put(const std::uint8_t* data, std::size_t size, ByteBuffer& out);
  // Appends everything still held, the end marker and the zero-filled last
  // byte. Returns the sum (mod 2^32) of every stream byte appended.
  std::uint32_t Finish(ByteBuffer& out);

 private:
  void ParseBlocks(std::size_t count, std::size_t lastLength, bool last, ByteBuffer& out);
  void Emit(std::uint32_t value, unsigned width, ByteBuffer& out);

  unsigned threads_;
  // buffer_ holds, from kHistoryStart, the 8 KiB before the current blocks
  // (zeros at first, the window's initial contents), the blocks and what
  // follows them.
  std::vector<std::uint8_t> buffer_;
  std::size_t filled_;  // buffer_ bytes in use
  std::size_t full_;    // filled_ when a block per thread and 18 bytes are held
  bool started_ = false;
  int hashBits_ = 0;  // set by the first block
  std::vector<std::unique_ptr<BlockParser>> parsers_;
  // Bits not yet in a whole byte (the low pendingBits_ of bits_).
  std::uint64_t bits_ = 0;
  unsigned pendingBits_ = 0;
  std::uint32_t checksum_ = 0;
};

// The threads compression takes at most: as many as the machine has
// processors, at most LzssCompressor::kMaxThreads.
unsigned CompressionThreads();

// The whole-buffer wrapper: output is emptied first. Returns the stream's
// checksum.
std::uint32_t LzssCompress(const ByteBuffer& input, ByteBuffer& output);

}  // namespace qev
