// One block of a compressed member stream, parsed alone: the shortest way
// through the block for the token costs, with the matches of match_finder.h
// where they can shorten it. A block's parse depends only on its bytes and
// the 8 KiB before it, so blocks may be parsed in any order, on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "coding/lzss_stream.h"
#include "coding/match_finder.h"

namespace qev {

// The buffer a block is parsed from. Blocks start at multiples of 8192
// output bytes, at buffer positions kBlockStart + k * kBlockSize, so that a
// buffer position that is a multiple of 8192 is window position 0, which is
// never a source. Before the first block lie the window's initial zeros.
struct ParseLayout {
  static constexpr std::size_t kBlockSize = 256 * 1024;
  // Below kHistoryStart nothing is read: 0, an empty hash slot, lies
  // outside the window of every position looked up.
  static constexpr std::size_t kHistoryStart = lzss::kWindowSize + 1;
  static constexpr std::size_t kBlockStart = kHistoryStart + lzss::kWindowSize;
  static constexpr std::size_t kPadding = 16;  // room for 8-byte loads past the data
  static_assert(kBlockSize % lzss::kWindowSize == 0 &&
                kBlockStart % lzss::kWindowSize == lzss::kFirstWritePosition);
};

class BlockParser {
 public:
  // Parses the `length` bytes at buffer + start, a block start, followed by
  // kPadding readable bytes at least; no reference reaches past the block.
  // `first`: the member's first block, after the initial zeros.
  // `hashBits`: the size of the hash tables, the same for every block of a
  // member.
  void Parse(const std::uint8_t* buffer, std::uint32_t start, std::uint32_t length, bool first,
             int hashBits);

  // The parse, per offset in the block where a token starts: its length (1
  // for a literal) and, for a reference, the distance back to its source.
  std::uint32_t Step(std::size_t offset) const { return step_[offset]; }
  std::uint32_t Distance(std::size_t offset) const { return distance_[offset]; }

 private:
  MatchFinder finder_;
  // Per offset the step taken from it (1 for a literal) and a reference's
  // distance; while parsing, steps for the block's end and a few offsets
  // past it as well.
  std::vector<std::uint8_t> step_;
  std::vector<std::uint16_t> distance_;
};

}  // namespace qev
