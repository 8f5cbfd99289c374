// The compressor's match finder: hash chains of the positions in the
// window, so that inserting a position is cheap and a search is made only
// where the parse asks for one (see block_parser.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace qev {

struct Match {
  std::uint32_t length = 0;
  std::uint32_t distance = 0;
};

// How many bytes a and b have in common, at most `most` (both readable 8
// bytes past most), 8 at a time.
inline std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b,
                                  std::uint32_t most) {
  for (std::uint32_t length = 0; length < most; length += 8) {
    std::uint64_t wordA, wordB;
    std::memcpy(&wordA, a + length, 8);
    std::memcpy(&wordB, b + length, 8);
    if (wordA != wordB) {
      // Little-endian loads: the first differing byte is the lowest set one.
      length += static_cast<std::uint32_t>(__builtin_ctzll(wordA ^ wordB)) / 8;
      return length < most ? length : most;
    }
  }
  return most;
}

class MatchFinder {
 public:
  // The chains hold the positions up to kAhead past the one searched.
  static constexpr std::uint32_t kAhead = 16;
  // The most candidates a search tries.
  static constexpr std::uint32_t kMaxChain = 64;
  // Positions in the chains' links, modulo twice the window.
  static constexpr std::uint32_t kRing = 16384;

  MatchFinder();
  ~MatchFinder();
  MatchFinder(const MatchFinder&) = delete;
  MatchFinder& operator=(const MatchFinder&) = delete;

  // Starts on a block at buffer + start, laid out as ParseLayout
  // (block_parser.h) tells: a buffer position that is a multiple of 8192 is
  // window position 0 and never a source. Empties the tables (of hashBits
  // bits at most) and inserts the sources from `from` up to the block and
  // the block's first kAhead positions into the chains; the block ends at
  // `end`, and the chains go no further.
  void Reset(const std::uint8_t* buffer, int hashBits, std::uint32_t from, std::uint32_t start,
             std::uint32_t end);
  // Moves on past `cur`, searched or not: cur becomes a source.
  void Advance(std::uint32_t cur) {
    if (cur + kAhead < end_) Chain(cur + kAhead);
  }
  // The longest match at `cur` of `least` to `most` bytes (3 <= least <=
  // most <= 18, cur + most <= end) among the sources within the 8192
  // positions before it, or length 0 where there is none. Exact but for
  // matches of 3 bytes (only the newest source per hash of 3 bytes is kept)
  // and for candidates that more than kMaxChain newer ones of the same hash
  // precede.
  Match Find(std::uint32_t cur, std::uint32_t least, std::uint32_t most) const;

 private:
  static std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  void Chain(std::uint32_t position) {
    std::uint64_t bytes;
    std::memcpy(&bytes, buffer_ + position, 8);
    const auto hash = [&bytes](std::uint64_t mask, int bits) {
      return static_cast<std::uint32_t>(((bytes & mask) * 0x9E3779B97F4A7C15ull) >> (64 - bits));
    };
    const std::uint32_t slots[3] = {hash(0xFFFFFFFF, bits_),
                                    (std::uint32_t{1} << bits_) + hash(~std::uint64_t{0}, bits_),
                                    (std::uint32_t{2} << bits_) + hash(0xFFFFFF, bits3_)};
    const std::uint32_t ring = position & (kRing - 1);
    for (int chain = 0; chain < 3; ++chain) {
      // Distances past the window read as the window's end.
      const std::uint32_t back = position - head_[slots[chain]];
      older_[chain * kRing + ring] = static_cast<std::uint16_t>(back < 0xFFFF ? back : 0xFFFF);
      head_[slots[chain]] = position;
    }
  }

  const std::uint8_t* buffer_ = nullptr;
  std::uint32_t end_ = 0;
  int bits_ = 0;
  int bits3_ = 0;
  // Per hash of 4, 8 and 3 bytes the newest position; per position (modulo
  // twice the window) the next older one of the same hash of 4, of 8 and of
  // 3 bytes. Slots hold buffer positions; 0 lies outside every window.
  std::vector<std::uint32_t> head_;
  std::unique_ptr<std::uint16_t[]> older_;
};

}  // namespace qev
