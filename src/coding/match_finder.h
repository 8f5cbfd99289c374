// The compressor's match finder: the longest match, up to lzss::kMaxMatch
// bytes, at every position of a block, exactly (but for a few of 3 bytes),
// among the 8192 positions before each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace qev {

class MatchFinder {
 public:
  MatchFinder();
  ~MatchFinder();
  MatchFinder(const MatchFinder&) = delete;
  MatchFinder& operator=(const MatchFinder&) = delete;

  // Finds the longest match at every offset of the `length` bytes at
  // buffer + start, a block start, laid out as ParseLayout (block_parser.h)
  // tells: a buffer position that is a multiple of 8192 is window position
  // 0 and never a source, and the 8192 bytes before the block are its
  // history (for the member's first block, `first`, the window's initial
  // zeros). The data ends at buffer + end, followed by 8 readable bytes;
  // matches may reach past the block into the data after it. `hashBits`:
  // the size of the hash tables. Writes per offset the longest match's
  // length to longest[offset] (0, or 3 to 18 bytes, none past the block's
  // end) and how far back its source lies to distance[offset]. The result
  // depends on the block, its history and the bytes after it alone.
  void FindLongest(const std::uint8_t* buffer, std::uint32_t start, std::uint32_t length,
                   std::uint32_t end, bool first, int hashBits, std::uint8_t* longest,
                   std::uint16_t* distance);

 private:
  // Per hash of 4 bytes a tree's root, per hash of 3 bytes the newest
  // position; per position its two children in the binary tree of the
  // strings (18 bytes) that start in the window, sorted, newest at the
  // root. The tree is never cleared: only nodes inserted since the roots
  // were cleared are reached.
  std::vector<std::uint32_t> head_;
  std::unique_ptr<std::uint32_t[]> tree_;
};

}  // namespace qev
